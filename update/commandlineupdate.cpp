#include "commandlineupdate.h"

#include "core/catalogue.h"
#include "core/endsignals.h"
#include "core/programfiles.h"
#include "listupdate.h"

#include <QCoreApplication>
#include <QLocale>

#include <cstdio>

namespace {

const char kProgram[] = "kestrelmoor-modlist";

QString stepText(UpdateStep step)
{
    switch (step) {
    case UpdateStep::FetchCatalogue:
        return QCoreApplication::translate("CommandLineUpdate", "fetching the list catalogue");
    case UpdateStep::FetchArchive:
        return QCoreApplication::translate("CommandLineUpdate", "downloading the list archive");
    case UpdateStep::Unpack:
        return QStringLiteral("unpacking");
    case UpdateStep::Commit:
        return QCoreApplication::translate("CommandLineUpdate", "putting the new list in place");
    default:
        return QStringLiteral("finishing");
    }
}

} // namespace

int updateFromCommandLine(const QString &programFolder, const QString &listServer, SettingsStore &settings,
                          HttpFetcher &fetcher, std::FILE *out, std::FILE *err)
{
    const QString recovered = ListUpdate::recoverInterrupted(programFolder);
    if (!recovered.isEmpty())
        std::fprintf(err, "%s: %s\n", kProgram, qPrintable(recovered));
    const ModListEntry list =
        loadCatalogue(ProgramFiles::inFolder(programFolder, ProgramFiles::kCatalogue), defaultCatalogueRow(listServer))
            .rows.first();

    const bool terminal = isatty(fileno(err));
    bool lineOpen = false;
    ListUpdateHooks hooks;
    if (terminal) {
        hooks.progress = [&](UpdateStep step, qint64 done, qint64 total) {
            const QLocale locale = QLocale::c();
            QString amount;
            if (step == UpdateStep::FetchCatalogue || step == UpdateStep::FetchArchive) {
                if (done > 0)
                    amount = total >= 0 ? QStringLiteral(" %1 of %2")
                                              .arg(locale.formattedDataSize(done), locale.formattedDataSize(total))
                                        : QStringLiteral(" %1").arg(locale.formattedDataSize(done));
            } else if (total >= 0 && step <= UpdateStep::Commit) {
                amount = QStringLiteral(" %1 of %2").arg(done).arg(total);
            }
            std::fprintf(err, "\r\033[K%s: %s...%s", kProgram, qPrintable(stepText(step)), qPrintable(amount));
            std::fflush(err);
            lineOpen = true;
        };
    }
    ListUpdate update(programFolder, listServer, settings, fetcher, hooks);

    // Ctrl-C, SIGTERM and SIGHUP cancel the update; the list stays as it was.
    QObject signalContext;
    onEndSignals(&signalContext, [&update] { update.cancel(); });

    ListUpdate::Outcome outcome;
    QObject::connect(&update, &ListUpdate::finished, [&outcome](const ListUpdate::Outcome &ended) {
        outcome = ended;
        QCoreApplication::exit(0);
    });
    update.start(list);
    QCoreApplication::exec();
    if (lineOpen)
        std::fprintf(err, "\r\033[K");
    if (outcome.end == ListUpdate::Outcome::End::Updated) {
        std::fprintf(out, "%s\n", outcome.unchanged ? "Mod List is up to date." : "Mod List updated successfully.");
        if (!outcome.warning.isEmpty())
            std::fprintf(err, "%s: %s\n", kProgram, qPrintable(outcome.warning));
        return 0;
    }
    if (outcome.end == ListUpdate::Outcome::End::Unfinished) {
        std::fprintf(err,
                     "%s: the update could not be finished; the next start puts the new list wholly in place.\n%s\n",
                     kProgram, qPrintable(update.lastError()));
        return 1;
    }
    std::fprintf(err, "%s: the update failed; the list is as it was.\n%s\n", kProgram, qPrintable(update.lastError()));
    return 1;
}
