#include "platform/shell.h"

#include <gtest/gtest.h>

#include <QString>

TEST(Shell, HandsOnlyWebAddressesToTheBrowser)
{
    const struct
    {
        const char *url;
        bool web;
    } rows[] = {
        {"http://example.test/mod.htm", true}, {"https://example.test/a?b=c", true},
        {"file:///etc/passwd", false},         {"mailto:x@example.test", false},
        {"javascript:alert(1)", false},        {"/usr/bin/xterm", false},
        {"", false},                           {"http://", false},
        {"steam://run/2320", false},
    };
    for (const auto &row : rows)
        EXPECT_EQ(Shell::isWebAddress(QString::fromLatin1(row.url)), row.web) << row.url;
}
