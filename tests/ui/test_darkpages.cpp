#include "platform/colorscheme.h"
#include "platform/webengineview.h"
#include "support/printers.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QUrl>

// On a dark desktop, pages in the program's web views see
// prefers-color-scheme: dark. This program's application palette is dark from
// the start, as a dark platform theme makes it, and the engine starts after
// the scheme was reported, as in the program.
TEST(DarkDesktop, PagesSeeTheDarkScheme)
{
    TempFolder site;
    site.write(QStringLiteral("scheme.htm"),
               "<html><body><script>location.hash = matchMedia('(prefers-color-scheme: dark)').matches"
               " ? 'dark' : 'light';</script></body></html>");
    WebEngineView view;
    view.resize(200, 100);
    view.show();
    const QString page = QUrl::fromLocalFile(site.path() + QStringLiteral("/scheme.htm")).toString();
    view.navigate(page);
    // QTest's QTRY macros report to QTest, not to GoogleTest: wait, then assert.
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.locationUrl().contains(QLatin1Char('#')); }, 30000));
    EXPECT_EQ(view.locationUrl(), page + QStringLiteral("#dark"));
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QPalette dark = QApplication::palette();
    dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
    dark.setColor(QPalette::WindowText, Qt::white);
    QApplication::setPalette(dark);
    reportColorSchemeToWebPages(QApplication::palette());
    return RUN_ALL_TESTS();
}
