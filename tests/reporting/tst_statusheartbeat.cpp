#include "reporting/StatusHeartbeat.h"

#include "app/ClientState.h"
#include "app/Clock.h"
#include "connection/LinkStatistics.h"
#include "platform/dialer/Dialer.h"
#include "support/TestEnvironment.h"

#include <QTest>

#include <memory>

using devbackend::DevBackend;
using platform::DialerErrors::CannotFindEntry;
using platform::DialerErrors::NoConnection;
using platform::DialerErrors::NoPppProtocols;
namespace DialStates = platform::DialStates;

namespace {

const QString Master1 = QStringLiteral("127.0.66.1");
const QString Master2 = QStringLiteral("127.0.66.2");
const QString Token = QStringLiteral("9f1e7c3a5b0d8e2f4a6c1b3d5e7f9a0c");
const QString ElsewhereMessage =
    QStringLiteral("你的帐户在其它电脑已经登录，如果不是你本人所为，建议修改密码");
constexpr platform::ConnectionHandle LinkHandle = 0x4711;
const std::u16string EntryName = u"Taverin-上海1";
const QDateTime Now(QDate(2024, 3, 1), QTime(12, 30, 0));

// One connection as the remote-access service would describe it. Queries about any other
// handle or entry fail the way the service fails them.
class FakeDialer : public platform::Dialer
{
public:
    std::uint16_t linkState = DialStates::Connected;
    std::uint32_t tunnelResult = 0;
    std::u16string tunnel = u"10.8.0.5";
    std::uint32_t entryResult = 0;
    std::u16string host = u"127.0.1.9";
    platform::LinkCounters linkCounters{1234, 5678};

    std::uint32_t writeEntry(std::u16string_view, const platform::DialEntry &) override
    {
        return platform::DialerErrors::AccessDenied;
    }
    std::uint32_t writeCredentials(std::u16string_view, const platform::DialCredentials &) override
    {
        return platform::DialerErrors::AccessDenied;
    }
    std::uint32_t validateEntryName(std::u16string_view) override { return 0; }
    std::uint32_t deleteEntry(std::u16string_view) override { return CannotFindEntry; }
    std::uint32_t entryHost(std::u16string_view name, std::u16string &out) override
    {
        if (name != EntryName)
            return CannotFindEntry;
        if (entryResult == 0)
            out = host;
        return entryResult;
    }
    std::uint32_t dial(std::u16string_view, platform::ConnectionHandle &) override
    {
        return platform::DialerErrors::DeviceNotAvailable;
    }
    std::uint16_t connectState() const override { return m_state; }
    std::u16string statusText() const override { return {}; }
    void refreshStatus(platform::ConnectionHandle handle) override
    {
        m_state = handle == LinkHandle ? linkState : NoConnection;
    }
    void hangUp(platform::ConnectionHandle, std::chrono::milliseconds) override {}
    std::optional<platform::ActiveConnection> firstActiveConnection() override { return {}; }
    std::uint32_t tunnelAddress(platform::ConnectionHandle handle, std::u16string &out) override
    {
        if (handle != LinkHandle)
            return NoConnection;
        if (tunnelResult == 0)
            out = tunnel;
        return tunnelResult;
    }
    std::uint32_t counters(platform::ConnectionHandle handle, platform::LinkCounters &out) override
    {
        if (handle != LinkHandle)
            return NoConnection;
        out = linkCounters;
        return 0;
    }
    std::u16string errorText(std::uint32_t) const override { return {}; }

private:
    // The notifier's last word: nothing is known until the status is asked for.
    std::uint16_t m_state = DialStates::Disconnected;
};

// Answers every POST with one fixed body.
class FixedReplyHttp : public platform::HttpTransport
{
public:
    explicit FixedReplyHttp(QString reply) : m_reply(std::move(reply)) {}

    platform::HttpResult get(const QUrl &) override { return {}; }
    platform::HttpResult postForm(const QUrl &, const platform::FormFields &) override
    {
        return {true, 200, m_reply, {}};
    }

private:
    QString m_reply;
};

QStringList fieldNames(const devbackend::LoggedRequest &request)
{
    QStringList names;
    for (const auto &field : request.fields)
        names << field.first;
    return names;
}

} // namespace

class TestStatusHeartbeat : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void reportsTheLink_data();
    void reportsTheLink();
    void onlineTimeCountsFromDialStart_data();
    void onlineTimeCountsFromDialStart();
    void linkNotConnectedSendsNothing_data();
    void linkNotConnectedSendsNothing();
    void accountInUseElsewhereDisconnects();
    void onlyTheExactTokenDisconnects_data();
    void onlyTheExactTokenDisconnects();
    void failedReportIsQuietAndNotRepeated_data();
    void failedReportIsQuietAndNotRepeated();
    void reportsFollowMovedMasterHost();

private:
    void tick();
    void verifyNothingHappened();

    std::unique_ptr<testsupport::TestEnvironment> m_env;
    std::unique_ptr<DevBackend> m_backend1;
    std::unique_ptr<DevBackend> m_backend2;
    std::unique_ptr<FakeDialer> m_dialer;
    connection::LinkStatistics m_statistics;
    QStringList m_events; // what the window was asked to do, in order
};

void TestStatusHeartbeat::init()
{
    m_env = std::make_unique<testsupport::TestEnvironment>(Master1, Master2);
    m_backend1 = testsupport::startBackend(Master1);
    m_backend2 = testsupport::startBackend(Master2);
    m_dialer = std::make_unique<FakeDialer>();
    app::services().dialer = m_dialer.get();
    m_statistics = connection::LinkStatistics{};
    m_events.clear();

    app::ClientState &state = app::client();
    state.MasterHost = Master1;
    state.BackupHost = Master2;
    state.PeerAddress = QStringLiteral("203.0.113.7");
    state.LoginUser = QStringLiteral("alice");
    state.LoginPassword = QStringLiteral("secret1");
    state.CurrentServerAddress = QStringLiteral("127.0.1.1");
    state.CurrentEntryName = QString::fromStdU16String(EntryName);
    state.ConnectUniqueId = QStringLiteral("2024030112000012312345678");
    state.ConnectStartTime = Now.addMSecs(-5000);
    state.RasConnHandle = LinkHandle;
    app::SetDateTimeSource([] { return Now; });
}

void TestStatusHeartbeat::cleanup()
{
    m_backend1.reset();
    m_backend2.reset();
    m_env.reset();
    m_dialer.reset();
    app::SetDateTimeSource({});
}

void TestStatusHeartbeat::tick()
{
    const int boxesBefore = m_env->boxes.shown().size();
    auto boxesNow = [this, boxesBefore] {
        return QStringLiteral(" (%1 boxes)").arg(m_env->boxes.shown().size() - boxesBefore);
    };
    reporting::StatusHeartbeat heartbeat(
        m_statistics, nullptr,
        {[this, boxesNow] { m_events << QStringLiteral("disconnect") + boxesNow(); },
         [this, boxesNow](const QString &text) {
             m_events << QStringLiteral("status ") + text + boxesNow();
         }});
    heartbeat.statuscheckTimer();
}

void TestStatusHeartbeat::verifyNothingHappened()
{
    QCOMPARE(m_events, QStringList());
    QCOMPARE(m_env->boxes.texts(), QStringList());
}

void TestStatusHeartbeat::reportsTheLink_data()
{
    QTest::addColumn<quint32>("tunnelResult");
    QTest::addColumn<quint32>("entryResult");
    QTest::addColumn<QString>("entryHost");
    QTest::addColumn<quint64>("sent");
    QTest::addColumn<quint64>("received");
    QTest::addColumn<QString>("clientIp");
    QTest::addColumn<QString>("serverIp");

    QTest::newRow("every query answers")
        << 0u << 0u << "127.0.1.9" << quint64{1234} << quint64{5678} << "10.8.0.5"
        << "127.0.1.9";
    QTest::newRow("no tunnel address")
        << quint32{NoPppProtocols} << 0u << "127.0.1.9" << quint64{1} << quint64{2} << ""
        << "127.0.1.9";
    QTest::newRow("entry already deleted")
        << 0u << quint32{CannotFindEntry} << "127.0.1.9" << quint64{0} << quint64{0} << "10.8.0.5"
        << "127.0.1.1";
    QTest::newRow("entry without a host")
        << 0u << 0u << "" << quint64{0} << quint64{0} << "10.8.0.5"
        << "127.0.1.1";
    QTest::newRow("more than 4 GiB")
        << 0u << 0u << "127.0.1.9" << quint64{5'000'000'000} << quint64{6'442'450'944} << "10.8.0.5"
        << "127.0.1.9";
}

void TestStatusHeartbeat::reportsTheLink()
{
    QFETCH(quint32, tunnelResult);
    QFETCH(quint32, entryResult);
    QFETCH(QString, entryHost);
    QFETCH(quint64, sent);
    QFETCH(quint64, received);
    QFETCH(QString, clientIp);
    QFETCH(QString, serverIp);
    m_dialer->tunnelResult = tunnelResult;
    m_dialer->entryResult = entryResult;
    m_dialer->host = entryHost.toStdU16String();
    m_dialer->linkCounters = {sent, received};

    tick();

    QCOMPARE(m_backend1->requests().size(), 1);
    const devbackend::LoggedRequest request = m_backend1->requests().constFirst();
    QCOMPARE(request.method, QStringLiteral("POST"));
    QCOMPARE(request.path, QStringLiteral("/sysadmin/useradmin/statuscheck7193.php"));
    QCOMPARE(fieldNames(request), QStringList({"serverip", "userpeerip", "clientip", "uniqueid",
                                               "username", "xmitdata", "recvdata", "onlinetime"}));
    QCOMPARE(request.field("serverip"), serverIp);
    QCOMPARE(request.field("userpeerip"), QStringLiteral("203.0.113.7"));
    QCOMPARE(request.field("clientip"), clientIp);
    QCOMPARE(request.field("uniqueid"), QStringLiteral("2024030112000012312345678"));
    QCOMPARE(request.field("username"), QStringLiteral("alice"));
    QCOMPARE(request.field("xmitdata"), QString::number(sent));
    QCOMPARE(request.field("recvdata"), QString::number(received));
    QCOMPARE(request.field("onlinetime"), QStringLiteral("5000"));
    QCOMPARE(app::client().CurrentServerAddress, serverIp);
    QVERIFY(m_backend2->requests().isEmpty());
    verifyNothingHappened();
}

void TestStatusHeartbeat::onlineTimeCountsFromDialStart_data()
{
    QTest::addColumn<qint64>("startOffsetMs");
    QTest::addColumn<QString>("onlineTime");

    QTest::newRow("first report after dialling")
        << qint64{-(218'000 + 7'250)} << QStringLiteral("225250");
    QTest::newRow("beyond 32 bits") << qint64{-40} * 86'400'000 << QStringLiteral("3456000000");
    // The clock was set back after dialling: still a duration, never negative.
    QTest::newRow("start lies ahead") << qint64{600'000} << QStringLiteral("600000");
}

void TestStatusHeartbeat::onlineTimeCountsFromDialStart()
{
    QFETCH(qint64, startOffsetMs);
    QFETCH(QString, onlineTime);
    app::client().ConnectStartTime = Now.addMSecs(startOffsetMs);

    tick();

    QCOMPARE(m_backend1->requests().size(), 1);
    QCOMPARE(m_backend1->requests().constFirst().field("onlinetime"), onlineTime);
}

void TestStatusHeartbeat::linkNotConnectedSendsNothing_data()
{
    QTest::addColumn<quint16>("linkState");
    QTest::addColumn<quintptr>("handle");

    QTest::newRow("link dropped") << quint16{DialStates::Disconnected} << quintptr{LinkHandle};
    QTest::newRow("still authenticating")
        << quint16{DialStates::Authenticate} << quintptr{LinkHandle};
    QTest::newRow("connection unknown") << quint16{DialStates::Connected} << quintptr{0x99};
}

void TestStatusHeartbeat::linkNotConnectedSendsNothing()
{
    QFETCH(quint16, linkState);
    QFETCH(quintptr, handle);
    m_dialer->linkState = linkState;
    app::client().RasConnHandle = handle;

    tick();

    QVERIFY(m_backend1->requests().isEmpty());
    QVERIFY(m_backend2->requests().isEmpty());
    QCOMPARE(app::client().CurrentServerAddress, QStringLiteral("127.0.1.1"));
    verifyNothingHappened();
}

void TestStatusHeartbeat::accountInUseElsewhereDisconnects()
{
    m_backend1->setLoggedInElsewhere(QStringLiteral("alice"));

    tick();

    QCOMPARE(m_events, QStringList({"disconnect (0 boxes)", "status 已经断开 (0 boxes)"}));
    QCOMPARE(m_env->boxes.shown().size(), 1);
    const platform::ScriptedMessageBoxes::Shown box = m_env->boxes.shown().constFirst();
    QCOMPARE(box.text, ElsewhereMessage);
    QCOMPARE(box.icon, platform::BoxIcon::None);
    QCOMPARE(box.buttons, platform::BoxButtons::Ok);
}

void TestStatusHeartbeat::onlyTheExactTokenDisconnects_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("disconnects");

    QTest::newRow("exact token") << Token << true;
    QTest::newRow("token and line break") << Token + "\n" << false;
    QTest::newRow("token and blank") << Token + " " << false;
    QTest::newRow("blank and token") << " " + Token << false;
    QTest::newRow("upper-case token") << Token.toUpper() << false;
    QTest::newRow("token cut short") << Token.left(31) << false;
    QTest::newRow("ordinary answer") << "ok" << false;
    QTest::newRow("empty body") << "" << false;
}

void TestStatusHeartbeat::onlyTheExactTokenDisconnects()
{
    QFETCH(QString, reply);
    QFETCH(bool, disconnects);
    FixedReplyHttp http(reply);
    app::services().http = &http;

    tick();

    QCOMPARE(m_events.size(), disconnects ? 2 : 0);
    QCOMPARE(m_env->boxes.texts(), disconnects ? QStringList{ElsewhereMessage} : QStringList{});
}

void TestStatusHeartbeat::failedReportIsQuietAndNotRepeated_data()
{
    QTest::addColumn<DevBackend::Fault>("fault");

    QTest::newRow("connection dropped") << DevBackend::Fault::Refuse;
    QTest::newRow("server error") << DevBackend::Fault::Http500;
    QTest::newRow("no answer") << DevBackend::Fault::Hang;
}

void TestStatusHeartbeat::failedReportIsQuietAndNotRepeated()
{
    QFETCH(DevBackend::Fault, fault);
    m_backend1->setFault(QStringLiteral("statuscheck7193.php"), fault);
    m_backend1->setLoggedInElsewhere(QStringLiteral("alice"));
    m_backend2->setLoggedInElsewhere(QStringLiteral("alice"));

    tick();

    QCOMPARE(m_backend1->requests().size(), 1);
    QVERIFY(m_backend2->requests().isEmpty());
    QCOMPARE(app::client().MasterHost, Master1);
    verifyNothingHappened();
}

void TestStatusHeartbeat::reportsFollowMovedMasterHost()
{
    app::client().MasterHost = Master2;

    tick();

    QVERIFY(m_backend1->requests().isEmpty());
    QCOMPARE(m_backend2->requests().size(), 1);
    QCOMPARE(m_backend2->requests().constFirst().field("username"), QStringLiteral("alice"));
}

QTEST_MAIN(TestStatusHeartbeat)
#include "tst_statusheartbeat.moc"
