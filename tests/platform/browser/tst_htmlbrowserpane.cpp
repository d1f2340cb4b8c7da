#include "platform/browser/HtmlBrowserPane.h"

#include <QTest>
#include <QTextBrowser>

// Nothing listens on this port, so navigating fails at once on loopback.
const QUrl PageUrl(QStringLiteral("http://127.0.74.1:9/taverinclient/top.htm"));

class TestHtmlBrowserPane : public QObject
{
    Q_OBJECT

private slots:
    void linksInThePage_data();
    void linksInThePage();
};

void TestHtmlBrowserPane::linksInThePage_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("shownUrl");

    QTest::newRow("relative") << "news.htm"
                              << "http://127.0.74.1:9/taverinclient/news.htm";
    QTest::newRow("root-relative") << "/pay.asp"
                                   << "http://127.0.74.1:9/pay.asp";
    QTest::newRow("absolute http") << "http://127.0.74.2/a.htm"
                                   << "http://127.0.74.2/a.htm";
    QTest::newRow("https") << "https://127.0.74.2/a.htm"
                           << "https://127.0.74.2/a.htm";
    QTest::newRow("local file") << "file:///etc/passwd" << PageUrl.toString();
    QTest::newRow("script") << "javascript:alert(1)" << PageUrl.toString();
    QTest::newRow("other scheme") << "ftp://127.0.74.2/x" << PageUrl.toString();
}

void TestHtmlBrowserPane::linksInThePage()
{
    QFETCH(QString, link);
    QFETCH(QString, shownUrl);
    QWidget window;
    platform::HtmlBrowserPane pane(QStringLiteral("GBK"), &window);
    pane.navigate(PageUrl);
    auto *view = pane.findChild<QTextBrowser *>();
    QVERIFY(view);

    emit view->anchorClicked(QUrl(link));

    QCOMPARE(pane.url().toString(), shownUrl);
}

QTEST_MAIN(TestHtmlBrowserPane)
#include "tst_htmlbrowserpane.moc"
