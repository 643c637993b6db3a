#include "settingsstore.h"

#include "checkedfile.h"
#include "options.h"
#include "textlines.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>

namespace {

constexpr qint64 kMaxSettingsBytes = qint64(4) << 20;

// The key of an entry in MemorySettingsStore and of the parsed file: the three
// names case folded, joined by a character no name holds unescaped.
QString foldedKey(const QString &application, const QString &section, const QString &key)
{
    return application.toCaseFolded() + QChar(0) + section.toCaseFolded() + QChar(0) + key.toCaseFolded();
}

struct Entry
{
    QString application, section, key, value;
};

// The parsed file: entries in file order, found through their folded names.
struct IniContent
{
    enum class Form {
        Missing,
        Readable,
        Encoded,
        Damaged
    };
    Form form = Form::Missing;
    QList<Entry> entries;
    QHash<QString, qsizetype> index;

    void set(const QString &application, const QString &section, const QString &key, const QString &value)
    {
        const QString folded = foldedKey(application, section, key);
        const auto found = index.constFind(folded);
        if (found != index.cend()) {
            entries[*found] = {application, section, key, value};
            return;
        }
        index.insert(folded, entries.size());
        entries.append({application, section, key, value});
    }
};

bool isNameSpecial(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f || c == u'%' || c == u'\\' || c == u'[' || c == u']' ||
           c == u'=' || c == u'"' || c == u';' || c == u'#';
}

QString encodeName(const QString &name)
{
    QString out;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        const bool edgeSpace = c.isSpace() && (i == 0 || i == name.size() - 1);
        if (!isNameSpecial(c) && !edgeSpace) {
            out += c;
            continue;
        }
        for (const char byte : QString(c).toUtf8())
            out += QStringLiteral("%%1").arg(uint(static_cast<unsigned char>(byte)), 2, 16, QChar(u'0')).toUpper();
    }
    return out;
}

QString decodeName(QStringView text)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text.trimmed().toUtf8()));
}

QString encodeValue(const QString &value)
{
    QString out;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case '"':
            out += QStringLiteral("\\\"");
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                out += QStringLiteral("\\x%1").arg(uint(c.unicode()), 2, 16, QChar(u'0'));
            else
                out += c;
        }
    }
    if (!value.isEmpty() && (value.front().isSpace() || value.back().isSpace()))
        out = u'"' + out + u'"';
    return out;
}

QString decodeValue(QStringView text)
{
    text = text.trimmed();
    if (text.size() >= 2 && text.front() == u'"' && text.back() == u'"')
        text = text.sliced(1, text.size() - 2);
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar next = text.at(++i);
        switch (next.unicode()) {
        case 'n':
            out += u'\n';
            break;
        case 'r':
            out += u'\r';
            break;
        case 't':
            out += u'\t';
            break;
        case 'x': {
            bool ok = false;
            const uint code = text.sliced(i + 1, std::min<qsizetype>(2, text.size() - i - 1)).toUInt(&ok, 16);
            if (ok) {
                out += QChar(code);
                i += 2;
            } else {
                out += next;
            }
            break;
        }
        default:
            out += next;
        }
    }
    return out;
}

// Earlier versions wrote every name case folded, percent escaped and behind an
// "n", through QSettings: "[ndorodor]" and "noptions\ndefbrw=1".
bool looksEncoded(const Entry &entry)
{
    for (const QString *name : {&entry.application, &entry.section, &entry.key}) {
        if (!name->startsWith(u'n') || *name != name->toCaseFolded())
            return false;
    }
    return true;
}

// The program's spelling of the names that earlier versions folded.
QString programSpelling(const QString &folded)
{
    static const QStringList names{Options::kApplication,       Options::kSection,        Options::kShowRemoteControl,
                                   Options::kStartFullScreen,   Options::kStartMaximized, Options::kRemoteControlOnly,
                                   Options::kUseDefaultBrowser, Options::kUpdateDate,     Options::kListServer,
                                   Options::kTreeWidth};
    for (const QString &name : names) {
        if (name.toCaseFolded() == folded)
            return name;
    }
    return folded;
}

void readEncoded(const QString &path, IniContent &content)
{
    QSettings settings(path, QSettings::IniFormat);
    content.entries.clear();
    content.index.clear();
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys) {
        const QStringList parts = key.split(u'/');
        if (parts.size() != 3 ||
            !std::all_of(parts.cbegin(), parts.cend(), [](const QString &p) { return p.startsWith(u'n'); }))
            continue;
        QStringList names;
        for (const QString &part : parts)
            names.append(programSpelling(QString::fromUtf8(QByteArray::fromPercentEncoding(part.mid(1).toUtf8()))));
        const QVariant value = settings.value(key);
        content.set(names[0], names[1], names[2],
                    value.typeId() == QMetaType::QStringList ? value.toStringList().join(QStringLiteral(", "))
                                                             : value.toString());
    }
    content.form = IniContent::Form::Encoded;
}

IniContent readIni(const QString &path)
{
    IniContent content;
    const FileRead read = readWholeFile(path, kMaxSettingsBytes);
    if (read.status == FileRead::Status::Missing)
        return content;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = read.status == FileRead::Status::Ok ? utf8.decode(read.data) : QString();
    const bool binary = std::any_of(read.data.cbegin(), read.data.cend(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 && b != '\n' && b != '\r' && b != '\t';
    });
    if (read.status != FileRead::Status::Ok || utf8.hasError() || binary) {
        content.form = IniContent::Form::Damaged;
        return content;
    }
    content.form = IniContent::Form::Readable;
    QString application;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            application = decodeName(line.sliced(1, line.size() - 2));
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            continue; // not an entry: a stray line of a hand edit
        const QStringView name = line.first(equals);
        const qsizetype slash = name.indexOf(u'\\');
        const QString section = slash < 0 ? QString() : decodeName(name.first(slash));
        const QString key = decodeName(slash < 0 ? name : name.sliced(slash + 1));
        content.set(application, section, key, decodeValue(line.sliced(equals + 1)));
    }
    if (!content.entries.isEmpty() && std::all_of(content.entries.cbegin(), content.entries.cend(), looksEncoded))
        readEncoded(path, content);
    return content;
}

QByteArray writeIni(const IniContent &content)
{
    // Grouped by application, in the order each first appears.
    QStringList applications;
    QHash<QString, QString> spelling;
    for (const Entry &entry : content.entries) {
        const QString folded = entry.application.toCaseFolded();
        if (!spelling.contains(folded)) {
            spelling.insert(folded, entry.application);
            applications.append(folded);
        }
    }
    QString out;
    for (const QString &folded : applications) {
        if (!out.isEmpty())
            out += u'\n';
        out += u'[' + encodeName(spelling.value(folded)) + QStringLiteral("]\n");
        for (const Entry &entry : content.entries) {
            if (entry.application.toCaseFolded() == folded)
                out +=
                    encodeName(entry.section) + u'\\' + encodeName(entry.key) + u'=' + encodeValue(entry.value) + u'\n';
        }
    }
    return out.toUtf8();
}

QString configFolder()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return base.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : base;
}

} // namespace

QString userSettingsPath()
{
    return configFolder() + QStringLiteral("/kestrelmoor-modlist/modlist.ini");
}

QString earlierUserSettingsPath()
{
    return configFolder() + QStringLiteral("/kestrelmoor/modlist.ini");
}

bool adoptEarlierSettings(const QString &earlier, const QString &current)
{
    if (QFileInfo::exists(current) || QFileInfo(current).isSymLink() || !QFileInfo(earlier).isFile())
        return true;
    const FileRead read = readWholeFile(earlier, kMaxSettingsBytes);
    if (read.status != FileRead::Status::Ok || !QDir().mkpath(QFileInfo(current).absolutePath()))
        return false;
    return replaceFileContents(current, read.data, nullptr);
}

IniSettingsStore::IniSettingsStore() : IniSettingsStore(userSettingsPath()) {}

IniSettingsStore::IniSettingsStore(QString iniFilePath) : m_path(std::move(iniFilePath))
{
    // A file in the earlier, encoded form is rewritten in the readable one once;
    // should that fail, it is still read as it is.
    const IniContent content = readIni(m_path);
    if (content.form == IniContent::Form::Encoded)
        replaceFileContents(m_path, writeIni(content), nullptr);
}

QString IniSettingsStore::value(const QString &application, const QString &section, const QString &key,
                                const QString &defaultValue) const
{
    const IniContent content = readIni(m_path);
    const auto found = content.index.constFind(foldedKey(application, section, key));
    return found == content.index.cend() ? defaultValue : content.entries.at(*found).value;
}

bool IniSettingsStore::setValue(const QString &application, const QString &section, const QString &key,
                                const QString &value)
{
    m_error.clear();
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(folder)) {
        m_error = QCoreApplication::translate("IniSettingsStore", "the folder %1 cannot be made")
                      .arg(QDir::toNativeSeparators(folder));
        return false;
    }
    IniContent content = readIni(m_path);
    if (content.form == IniContent::Form::Damaged) {
        // Writing over it would lose whatever it holds: keep it beside the new one.
        const QString aside = m_path + QStringLiteral(".damaged");
        QFile::remove(aside);
        if (!QFile::rename(m_path, aside)) {
            m_error =
                QCoreApplication::translate("IniSettingsStore", "the damaged settings file %1 cannot be set aside")
                    .arg(QDir::toNativeSeparators(m_path));
            return false;
        }
    }
    content.set(application, section, key, value);
    return replaceFileContents(m_path, writeIni(content), &m_error);
}

QString MemorySettingsStore::value(const QString &application, const QString &section, const QString &key,
                                   const QString &defaultValue) const
{
    return m_values.value(foldedKey(application, section, key), defaultValue);
}

bool MemorySettingsStore::setValue(const QString &application, const QString &section, const QString &key,
                                   const QString &value)
{
    if (!m_writable)
        return false;
    m_values.insert(foldedKey(application, section, key), value);
    return true;
}
