#include "platform/sitescheme.h"
#include "support/tempfolder.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QSignalSpy>
#include <QWebEnginePage>
#include <QWebEngineProfile>

using namespace Qt::StringLiterals;

namespace {

// An image that reports whether it could be shown, in the page's title.
const QByteArray kImageProbe = "<img src='kestrelmoor://list/kestrelmoor/dot.png' "
                               "onload=\"document.title='loaded'\" onerror=\"document.title='blocked'\">";

// The built-in list's site, served to the default profile as in the program.
class SiteScheme : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static TempFolder root;
        root.write(u"site/kestrelmoor/index.htm"_s, "<title>Kestrelmoor</title>");
        root.write(u"site/kestrelmoor/pictures.htm"_s, "<title>pictures</title>" + kImageProbe);
        root.write(u"site/kestrelmoor/modlist/welcome.htm"_s, "<title>Start</title>");
        root.write(u"secret.htm"_s, "<title>Secret</title>");
        QImage dot(4, 4, QImage::Format_RGB32);
        dot.fill(Qt::red);
        dot.save(root.file(u"site/kestrelmoor/dot.png"_s));
        serveSiteScheme(QWebEngineProfile::defaultProfile(), root.file(u"site"_s), qApp);
    }

    // Loads the address; true when the load succeeded.
    bool load(const QString &url)
    {
        QSignalSpy finished(&page, &QWebEnginePage::loadFinished);
        page.load(QUrl(url));
        if (!finished.wait(30000))
            return false;
        return finished.first().first().toBool();
    }

    QWebEnginePage page;
};

} // namespace

TEST_F(SiteScheme, ServesTheSiteAndNothingElse)
{
    const struct
    {
        const char *label;
        QString url;
        bool loads;
        QString title = {};
    } rows[] = {
        {"a page", u"kestrelmoor://list/kestrelmoor/modlist/welcome.htm"_s, true, u"Start"_s},
        {"a folder: its index page", u"kestrelmoor://list/kestrelmoor/"_s, true, u"Kestrelmoor"_s},
        {"a missing page", u"kestrelmoor://list/kestrelmoor/none.htm"_s, false},
        {"outside the site's folder", u"kestrelmoor://list/%2e%2e/secret.htm"_s, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(load(row.url), row.loads);
        if (row.loads)
            WAIT_EQ(page.title(), row.title, 10000);
        else
            EXPECT_NE(page.title(), u"Secret"_s);
    }
}

// The site's own pages show its pictures; a page from the web cannot reach them.
TEST_F(SiteScheme, OnlyTheSitesOwnPagesReachIt)
{
    ASSERT_TRUE(load(u"kestrelmoor://list/kestrelmoor/pictures.htm"_s));
    WAIT_EQ(page.title(), u"loaded"_s, 10000);

    QSignalSpy finished(&page, &QWebEnginePage::loadFinished);
    page.setHtml(QString::fromLatin1("<title>web</title>" + kImageProbe), QUrl(u"http://web.test/"_s));
    ASSERT_TRUE(finished.wait(30000));
    WAIT_EQ(page.title(), u"blocked"_s, 10000);
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    registerSiteScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
