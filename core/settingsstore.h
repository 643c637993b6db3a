#pragma once

#include <QHash>
#include <QString>

// The per-user store of small text values, addressed by application, section and
// key. Names are compared without regard to letter case. Nothing is cached: every
// read asks the store, so a value saved anywhere is what the next read returns.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;
    // The stored value, or defaultValue when the entry is absent or the store
    // cannot be read. A read never creates an entry.
    virtual QString value(const QString &application, const QString &section, const QString &key,
                          const QString &defaultValue) const = 0;
    // Creates or replaces the entry. Returns false when the store could not be
    // written; the value is then not kept.
    virtual bool setValue(const QString &application, const QString &section, const QString &key,
                          const QString &value) = 0;
    // Why the last setValue() failed, for a person; empty when it did not.
    virtual QString errorString() const { return {}; }
};

// The real store: one INI file per user (by default userSettingsPath()), that
// reads as a person would write it:
//
//     [DorOdor]
//     Options\ShowFav=1
//
// one group per application, "section\key=value" lines. Names keep the
// spelling the program gives them and are read without regard to case, so a
// hand-written "options\SHOWFAV" counts. A name's "%", "\", "[", "]", "=" and
// control characters are written as %XX, so no name can reach into another's
// group; a value is written as it is, with backslash escapes for line breaks
// and backslashes, and in double quotes when it has spaces at either end.
//
// A file in the encoded form that earlier versions wrote ("[ndorodor]",
// "noptions\nshowfav=1") is read as well, and rewritten in this form once. A
// damaged file (not text, or too large to be settings) reads as the defaults
// and is set aside as ".damaged" at the next save. Every save replaces the file
// through CheckedFileWriter, so a full disk leaves it as it was.
class IniSettingsStore final : public SettingsStore
{
public:
    IniSettingsStore();                             // the user's own store, at userSettingsPath()
    explicit IniSettingsStore(QString iniFilePath); // a store at a given path

    QString value(const QString &application, const QString &section, const QString &key,
                  const QString &defaultValue) const override;
    bool setValue(const QString &application, const QString &section, const QString &key,
                  const QString &value) override;
    QString errorString() const override { return m_error; }

private:
    QString m_path;
    QString m_error;
};

// A store kept in memory, for tests and for runs that must not touch the user's
// settings.
class MemorySettingsStore final : public SettingsStore
{
public:
    QString value(const QString &application, const QString &section, const QString &key,
                  const QString &defaultValue) const override;
    bool setValue(const QString &application, const QString &section, const QString &key,
                  const QString &value) override;

    void setWritable(bool writable) { m_writable = writable; }
    int size() const { return int(m_values.size()); }

private:
    QHash<QString, QString> m_values;
    bool m_writable = true;
};

// The user's settings file, "kestrelmoor-modlist/modlist.ini" in the user's
// configuration folder: the same folder name as the user's data folder.
QString userSettingsPath();
// Where earlier versions kept it: "kestrelmoor/modlist.ini".
QString earlierUserSettingsPath();

// Carries the settings of an earlier version over, once: copies `earlier` to
// `current` when `current` does not exist yet. The copy appears whole or not at
// all, and `earlier` is left as it was. Returns false only when a copy was
// needed and could not be made.
bool adoptEarlierSettings(const QString &earlier, const QString &current);
