#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Whether a name contains a piece of text, ignoring letter case. A name in
// plain ASCII is compared byte by byte; any other name is decoded (decodeText)
// and compared as text with case folding, so "CAFÉ" finds "café" whether the
// name was written in UTF-8 or in Windows-1252.
class NameMatcher final
{
public:
    explicit NameMatcher(const QString &text);

    // The empty text is in every name.
    bool matches(QByteArrayView name) const;

private:
    QString m_text;
    // The text case-folded, as bytes, when that is plain ASCII. Otherwise no
    // ASCII name can hold it: ASCII letters fold to ASCII letters.
    QByteArray m_folded;
    bool m_asciiText = false;
};
