#include "latency/TForm1.h"

#include "app/ClientState.h"
#include "app/Services.h"
#include "catalogue/ServerListDocument.h"
#include "platform/icmp/FakeIcmpProber.h"
#include "platform/icmp/LinuxIcmpProber.h"
#include "support/EchoHosts.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <memory>
#include <thread>

using namespace std::chrono_literals;

namespace {

const QString Master1 = QStringLiteral("127.0.65.1");
const QString Master2 = QStringLiteral("127.0.65.2");
const QString Area = QStringLiteral("华东");
const QString NoLineValueText = QStringLiteral("发生错误，请关闭程序再重新运行");
const QString TimedOut = QStringLiteral("Request timed out.");
// Lines of the area above and their hosts; "C" belongs to another area.
const QString Catalogue = QStringLiteral("[华东]\nA=127.0.5.1,98%,1\nB=127.0.5.2,90%,0\n"
                                         "上海1,备用=127.0.5.3,97%,1\n"
                                         "[华北]\nC=127.0.6.1,95%,1\n");
const std::string HostA = "127.0.5.1";
const std::string HostB = "127.0.5.2";
const std::string HostShanghai = "127.0.5.3";
// Lines whose hosts sit behind the echo responder in the test's own network namespace.
const QString EchoCatalogue = QStringLiteral("[华东]\nE=10.77.0.1,99%,1\n");
const std::string EchoHost = "10.77.0.1";

enum class Script { Reply, Timeout, Unresolvable, Failure };

QStringList repeated(const QString &text, int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << text;
    return list;
}

std::vector<std::string> repeated(const std::string &host, int count)
{
    return std::vector<std::string>(static_cast<std::size_t>(count), host);
}

// The time a reply line shows, -1 for any other line.
int replyMilliseconds(const QString &line)
{
    static const QRegularExpression reply(QStringLiteral("^.*:  time(<1|=)(\\d+) ms$"));
    const QRegularExpressionMatch match = reply.match(line);
    if (!match.hasMatch())
        return -1;
    return match.captured(1) == QStringLiteral("<1") ? 0 : match.captured(2).toInt();
}

} // namespace

class TestTForm1 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void replyLine_data();
    void replyLine();
    void series_data();
    void series();
    void unchosenLineOnlyMovesFocus_data();
    void unchosenLineOnlyMovesFocus();
    void windowFollowsMainWindow();
    void retestDuringSeries_data();
    void retestDuringSeries();
    void eventsRunWhileEchoesWait();
    void seriesAgainstEchoHost_data();
    void seriesAgainstEchoHost();
    // Last: quitting leaves this thread's later event loops returning at once.
    void quittingDuringAnEchoEndsTheSeries();

private:
    void chooseLine(const QString &text);
    QStringList listed() const;
    std::vector<std::string> probedHosts() const;

    std::unique_ptr<testsupport::TestEnvironment> m_env;
    std::unique_ptr<platform::FakeIcmpProber> m_icmp;
    platform::IcmpProber *m_savedIcmp = nullptr;
    std::unique_ptr<QWidget> m_main;
    QComboBox *m_AreaTxt2 = nullptr;
    QComboBox *m_IPAddrTxt = nullptr;
    QPushButton *m_cesu = nullptr;
    latency::TForm1 *m_form = nullptr;

    bool m_namespaced = false;
    QString m_skipReason;
    std::unique_ptr<testsupport::TunEchoResponder> m_responder;
};

void TestTForm1::initTestCase()
{
    m_namespaced = testsupport::enterPrivateNetworkNamespace(&m_skipReason);
    if (!m_namespaced)
        return;
    std::string whyNot;
    m_responder = testsupport::startEchoHosts(&whyNot);
    QVERIFY2(m_responder, whyNot.c_str());
}

void TestTForm1::init()
{
    m_env = std::make_unique<testsupport::TestEnvironment>(Master1, Master2);
    m_icmp = std::make_unique<platform::FakeIcmpProber>();
    m_savedIcmp = app::services().icmp;
    app::services().icmp = m_icmp.get();
    app::client().ServerList = std::make_shared<const catalogue::ServerListDocument>(
        catalogue::ServerListDocument::parse(Catalogue));

    m_main = std::make_unique<QWidget>();
    m_main->resize(600, 400);
    m_AreaTxt2 = new QComboBox(m_main.get());
    m_AreaTxt2->addItems({Area, QStringLiteral("华北")});
    m_IPAddrTxt = new QComboBox(m_main.get());
    m_IPAddrTxt->setGeometry(0, 30, 150, 25);
    m_IPAddrTxt->addItems({QStringLiteral("请选择服务器"), QStringLiteral("A")});
    m_cesu = new QPushButton(QStringLiteral("单个测速"), m_main.get());
    m_cesu->setGeometry(0, 60, 80, 25);
    m_form = new latency::TForm1(m_main.get(), m_AreaTxt2, m_IPAddrTxt, m_cesu);
}

void TestTForm1::cleanup()
{
    m_main.reset();
    app::services().icmp = m_savedIcmp;
    m_icmp.reset();
    m_env.reset();
}

void TestTForm1::chooseLine(const QString &text)
{
    if (m_IPAddrTxt->findText(text, Qt::MatchExactly) < 0)
        m_IPAddrTxt->addItem(text);
    m_IPAddrTxt->setCurrentIndex(m_IPAddrTxt->findText(text, Qt::MatchExactly));
}

QStringList TestTForm1::listed() const
{
    const auto *list = m_form->findChild<QListWidget *>(QStringLiteral("ListBox1"));
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

std::vector<std::string> TestTForm1::probedHosts() const
{
    std::vector<std::string> hosts;
    for (const auto &call : m_icmp->calls())
        hosts.push_back(call.host);
    return hosts;
}

void TestTForm1::replyLine_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("elapsedMicroseconds");
    QTest::addColumn<QString>("expected");

    const QString a = QStringLiteral("A");
    QTest::newRow("no time") << a << qint64(0) << QStringLiteral("A:  time<10 ms");
    QTest::newRow("under a millisecond") << a << qint64(999) << QStringLiteral("A:  time<10 ms");
    QTest::newRow("one millisecond") << a << qint64(1000) << QStringLiteral("A:  time=1 ms");
    QTest::newRow("fraction truncated") << a << qint64(23900) << QStringLiteral("A:  time=23 ms");
    QTest::newRow("just under the timeout")
        << a << qint64(999999) << QStringLiteral("A:  time=999 ms");
    QTest::newRow("the timeout") << a << qint64(1000000) << TimedOut;
    QTest::newRow("beyond the timeout") << a << qint64(4000000) << TimedOut;
    QTest::newRow("name with place markers")
        << QStringLiteral("%1 %2") << qint64(5000) << QStringLiteral("%1 %2:  time=5 ms");
}

void TestTForm1::replyLine()
{
    QFETCH(QString, name);
    QFETCH(qint64, elapsedMicroseconds);
    QFETCH(QString, expected);

    QCOMPARE(latency::SpeedTestReplyLine(name, std::chrono::microseconds(elapsedMicroseconds)),
             expected);
}

void TestTForm1::series_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<Script>("script");
    QTest::addColumn<int>("replyMilliseconds");
    // What the line selector shows from the first ping on.
    QTest::addColumn<QString>("selectorDuringSeries");
    QTest::addColumn<std::string>("host");
    QTest::addColumn<int>("requests");
    QTest::addColumn<QStringList>("expectedLines");
    QTest::addColumn<QStringList>("expectedMessages");

    const QString a = QStringLiteral("A");
    QTest::newRow("reply") << a << Script::Reply << 5 << a << HostA << 7
                           << repeated(QStringLiteral("A:  time=5 ms"), 7) << QStringList{};
    QTest::newRow("reply under a millisecond")
        << a << Script::Reply << 0 << a << HostA << 7
        << repeated(QStringLiteral("A:  time<10 ms"), 7) << QStringList{};
    QTest::newRow("name before the comma")
        << QStringLiteral("上海1,备用") << Script::Reply << 3 << QStringLiteral("上海1,备用")
        << HostShanghai << 7 << repeated(QStringLiteral("上海1:  time=3 ms"), 7) << QStringList{};
    QTest::newRow("timeout") << a << Script::Timeout << 1 << a << HostA << 7
                             << repeated(TimedOut, 7) << QStringList{};
    QTest::newRow("unresolvable") << a << Script::Unresolvable << 0 << a << HostA << 1
                                  << QStringList{} << QStringList{};
    QTest::newRow("send failure") << a << Script::Failure << 0 << a << HostA << 1 << QStringList{}
                                  << QStringList{};
    QTest::newRow("line missing in the area")
        << QStringLiteral("C") << Script::Unresolvable << 0 << QStringLiteral("C") << std::string()
        << 1 << QStringList{} << QStringList{NoLineValueText};
    QTest::newRow("name read at each reply")
        << a << Script::Reply << 5 << QStringLiteral("B") << HostA << 7
        << repeated(QStringLiteral("B:  time=5 ms"), 7) << QStringList{};
    QTest::newRow("selector emptied during the series")
        << a << Script::Reply << 5 << QString() << HostA << 7
        << repeated(QStringLiteral(":  time=5 ms"), 7) << repeated(NoLineValueText, 7);
}

void TestTForm1::series()
{
    QFETCH(QString, line);
    QFETCH(Script, script);
    QFETCH(int, replyMilliseconds);
    QFETCH(QString, selectorDuringSeries);
    QFETCH(std::string, host);
    QFETCH(int, requests);
    QFETCH(QStringList, expectedLines);
    QFETCH(QStringList, expectedMessages);

    switch (script) {
    case Script::Reply:
        m_icmp->setReply(host, std::chrono::milliseconds(replyMilliseconds));
        break;
    case Script::Timeout:
        m_icmp->setTimeout(host, std::chrono::milliseconds(replyMilliseconds));
        break;
    case Script::Unresolvable:
        m_icmp->setUnresolvable(host);
        break;
    case Script::Failure:
        m_icmp->setFailure(host, ENETUNREACH);
        break;
    }
    chooseLine(line);
    // Runs at the first chance the GUI gets, which is while the first echo waits.
    QTimer::singleShot(0, this, [&] { chooseLine(selectorDuringSeries); });

    m_form->cesuClick();

    QCOMPARE(listed(), expectedLines);
    QCOMPARE(probedHosts(), repeated(host, requests));
    for (const auto &call : m_icmp->calls()) {
        QCOMPARE(call.options.dataSize, 32);
        QCOMPARE(call.options.timeout, 1000ms);
    }
    QCOMPARE(m_env->boxes.texts(), expectedMessages);
    QVERIFY(m_form->isVisible());
    QVERIFY(m_cesu->isEnabled());
}

void TestTForm1::unchosenLineOnlyMovesFocus_data()
{
    QTest::addColumn<QString>("line");

    QTest::newRow("prompt item") << QStringLiteral("请选择服务器");
    QTest::newRow("prompt inside a name") << QStringLiteral("--选择服务器--");
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks only") << QStringLiteral("  \t ");
}

void TestTForm1::unchosenLineOnlyMovesFocus()
{
    QFETCH(QString, line);

    m_icmp->setReply(HostA, 0ms);
    m_main->show();
    QVERIFY(QTest::qWaitForWindowActive(m_main.get()));
    m_cesu->setFocus();
    chooseLine(line);

    m_form->cesuClick();

    QCOMPARE(QApplication::focusWidget(), m_IPAddrTxt);
    QVERIFY(!m_form->isVisible());
    QVERIFY(m_icmp->calls().empty());
    QVERIFY(m_env->boxes.texts().isEmpty());
    QVERIFY(m_cesu->isEnabled());
}

void TestTForm1::windowFollowsMainWindow()
{
    m_icmp->setReply(HostA, 0ms);
    chooseLine(QStringLiteral("A"));
    m_main->move(130, 90);
    m_main->show();

    m_form->cesuClick();
    QCOMPARE(m_form->windowTitle(), QStringLiteral("速度测试"));
    QCOMPARE(m_form->size(), QSize(254, 205));
    QCOMPARE(m_form->pos(), QPoint(430, 110));

    // Moved by the user, and the main window moved too: the next series puts it back.
    m_form->move(10, 10);
    m_main->move(200, 150);
    m_form->cesuClick();
    QCOMPARE(m_form->pos(), QPoint(500, 170));
    QCOMPARE(listed().size(), 7);
}

void TestTForm1::retestDuringSeries_data()
{
    // 0: during the first echo; n: right after the series' n-th line.
    QTest::addColumn<int>("clickAfterLines");
    QTest::addColumn<int>("outerRequestsBefore");

    QTest::newRow("during the first echo") << 0 << 1;
    QTest::newRow("after the third reply") << 3 << 3;
    QTest::newRow("after the last reply") << 7 << 7;
}

void TestTForm1::retestDuringSeries()
{
    QFETCH(int, clickAfterLines);
    QFETCH(int, outerRequestsBefore);

    // The first series tests A; the click switches the selector to B, so the inner series
    // tests B, and the rest of the first series keeps to A's host under B's name.
    m_icmp->setReply(HostA, 2ms);
    m_icmp->setTimeout(HostB, 1ms);
    chooseLine(QStringLiteral("A"));
    auto *button1 = m_form->findChild<QPushButton *>(QStringLiteral("Button1"));
    auto *list = m_form->findChild<QListWidget *>(QStringLiteral("ListBox1"));
    bool clicked = false;
    const auto clickRetest = [&] {
        clicked = true;
        QTimer::singleShot(0, this, [&] {
            chooseLine(QStringLiteral("B"));
            QVERIFY(button1->isEnabled());
            button1->click();
        });
    };
    if (clickAfterLines == 0)
        clickRetest();
    connect(list->model(), &QAbstractItemModel::rowsInserted, this, [&] {
        if (!clicked && list->count() == clickAfterLines)
            clickRetest();
    });

    m_form->cesuClick();

    const int outerRequestsAfter = latency::TForm1::RequestsPerSeries - outerRequestsBefore;
    QCOMPARE(listed(),
             repeated(TimedOut, 7) + repeated(QStringLiteral("B:  time=2 ms"), outerRequestsAfter));
    std::vector<std::string> expectedHosts = repeated(HostA, outerRequestsBefore);
    for (const auto &hosts : {repeated(HostB, 7), repeated(HostA, outerRequestsAfter)})
        expectedHosts.insert(expectedHosts.end(), hosts.begin(), hosts.end());
    QCOMPARE(probedHosts(), expectedHosts);
    QVERIFY(m_cesu->isEnabled());
}

void TestTForm1::eventsRunWhileEchoesWait()
{
    m_icmp->setReply(HostA, 3ms);
    chooseLine(QStringLiteral("A"));
    int ticksWhileWaiting = 0;
    bool cesuLocked = true;
    QTimer ticker;
    ticker.setInterval(0);
    connect(&ticker, &QTimer::timeout, this, [&] {
        if (m_icmp->waiting() > 0) {
            ++ticksWhileWaiting;
            cesuLocked = cesuLocked && !m_cesu->isEnabled();
        }
    });
    ticker.start();

    m_form->cesuClick();

    QVERIFY(ticksWhileWaiting > 0);
    QVERIFY(cesuLocked);
    QVERIFY(m_cesu->isEnabled());
    QCOMPARE(listed().size(), 7);
}

void TestTForm1::seriesAgainstEchoHost_data()
{
    // -1: the host never answers. A reply's time counts whole milliseconds from the request
    // leaving to the reply coming in, and never less than the delay. Other work on the
    // machine may hold any single echo up by milliseconds, so the fastest line of the series
    // must show the delay or one millisecond more.
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<QString>("fastest");
    QTest::addColumn<QString>("fastestOneMillisecondLate");

    QTest::newRow("at once") << 0 << QStringLiteral("E:  time<10 ms")
                             << QStringLiteral("E:  time=1 ms");
    QTest::newRow("after 20 ms") << 20 << QStringLiteral("E:  time=20 ms")
                                 << QStringLiteral("E:  time=21 ms");
    QTest::newRow("never") << -1 << TimedOut << TimedOut;
}

void TestTForm1::seriesAgainstEchoHost()
{
    REQUIRE_ECHO_HOSTS();
    QFETCH(int, delayMs);
    QFETCH(QString, fastest);
    QFETCH(QString, fastestOneMillisecondLate);

    if (delayMs < 0)
        m_responder->setSilent(EchoHost);
    else
        m_responder->setDelay(EchoHost, std::chrono::milliseconds(delayMs));
    platform::LinuxIcmpProber prober;
    QVERIFY2(prober.available(), prober.unavailableReason().c_str());
    app::services().icmp = &prober;
    app::client().ServerList = std::make_shared<const catalogue::ServerListDocument>(
        catalogue::ServerListDocument::parse(EchoCatalogue));
    chooseLine(QStringLiteral("E"));
    const std::uint64_t seenBefore = m_responder->requestsSeen();

    m_form->cesuClick();

    const QStringList lines = listed();
    QCOMPARE(lines.size(), latency::TForm1::RequestsPerSeries);
    QCOMPARE(m_responder->requestsSeen() - seenBefore,
             std::uint64_t(latency::TForm1::RequestsPerSeries));
    QVERIFY(m_cesu->isEnabled());
    if (delayMs < 0) {
        QCOMPARE(lines, repeated(TimedOut, latency::TForm1::RequestsPerSeries));
        return;
    }
    int fastestMs = std::numeric_limits<int>::max();
    for (const QString &line : lines) {
        const int shownMs = replyMilliseconds(line);
        QVERIFY2(shownMs >= delayMs, qPrintable(lines.join('|')));
        fastestMs = std::min(fastestMs, shownMs);
    }
    const QString best = latency::SpeedTestReplyLine(QStringLiteral("E"), fastestMs * 1ms);
    QVERIFY2(best == fastest || best == fastestOneMillisecondLate, qPrintable(lines.join('|')));
}

void TestTForm1::quittingDuringAnEchoEndsTheSeries()
{
    // The reply comes after the application has begun to quit, on the fake's thread.
    m_icmp->setTimeout(HostA, 200ms);
    chooseLine(QStringLiteral("A"));
    QTimer quitter;
    quitter.setInterval(0);
    connect(&quitter, &QTimer::timeout, this, [this] {
        if (m_icmp->waiting() > 0)
            QCoreApplication::exit(0);
    });
    quitter.start();

    m_form->cesuClick();
    quitter.stop();
    while (m_icmp->waiting() > 0)
        std::this_thread::sleep_for(10ms);
    QCoreApplication::processEvents();

    QCOMPARE(probedHosts(), std::vector<std::string>{HostA});
    QVERIFY(listed().isEmpty());
    QVERIFY(m_cesu->isEnabled());
}

QTEST_MAIN(TestTForm1)
#include "tst_tform1.moc"
