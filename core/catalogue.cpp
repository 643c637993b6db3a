#include "catalogue.h"

#include "programfiles.h"
#include "textlines.h"

ModListEntry defaultCatalogueRow(const QString &listServerBase)
{
    return ModListEntry{QStringLiteral("Quake2"), QStringLiteral("q2modlist.dat"),
                        listServerBase + ProgramFiles::kListPath + QStringLiteral("q2modlist.zip"),
                        QStringLiteral("q2modlist"), QStringLiteral("welcome.htm")};
}

CatalogueLoad loadCatalogue(const QString &path, const ModListEntry &defaultRow)
{
    const FileRead file = readWholeFile(path, kMaxCatalogueBytes);
    return parseCatalogue(file.status == FileRead::Status::Ok ? QByteArrayView(file.data) : QByteArrayView(),
                          defaultRow);
}

CatalogueLoad parseCatalogue(QByteArrayView data, const ModListEntry &defaultRow)
{
    CatalogueLoad result;
    LineReader lines(data);
    const auto header = lines.next();
    if (header && *header == kValidHeader) {
        while (result.rows.size() < kMaxCatalogueRows) {
            QString fields[5];
            int got = 0;
            for (; got < 5; ++got) {
                const auto line = lines.next();
                if (!line)
                    break;
                fields[got] = decodeText(*line);
            }
            if (got < 5)
                break;
            result.rows.append(ModListEntry{fields[0], fields[1], fields[2], fields[3], fields[4]});
        }
    }
    if (result.rows.isEmpty()) {
        result.rows.append(defaultRow);
        result.usedDefault = true;
    }
    return result;
}
