#include "devbackend/DevBackend.h"

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>

using devbackend::BackendData;
using devbackend::DevBackend;
using devbackend::LoggedRequest;
using Fields = QList<QPair<QString, QString>>;
using FaultList = QList<QPair<QString, DevBackend::Fault>>;

namespace {

const QHostAddress ServerAddress(QStringLiteral("127.0.77.1"));
constexpr quint16 ServerPort = 8000;
const QString Scripts = QStringLiteral("/sysadmin/useradmin/");
const QString Kicked = QStringLiteral("9f1e7c3a5b0d8e2f4a6c1b3d5e7f9a0c");
const QString Direct = QStringLiteral("3b8e1d7f0a2c9e4b6d1f8a3c5e0b7d2a");
const QByteArray CredentialSeparator = "7e2c9b4f1d8a3e6c0b5f2d9a4c7e1b8f";
constexpr qint64 MiB = 1024 * 1024;

const char TestCatalogue[] = "[华东电信]\n上海1=127.0.1.1,98%,1\n备用=\n\n[Route]\nr1=127.0.1.240";

const char TestData[] = R"([backend]
version=6.3
route=127.0.9.9
registration=yes
catalogue=catalogue.ini

[account alice]
password=secret1
days=30

[account bob]
password=secret2
days=7
text=账户剩余天数:{days}天

[account 张三]
password=密码12
days=5

[account carol smith]
password=p&s=w+d%
days=0

[account old]
password=secret3
state=expire

[account trial]
password=secret4
state=useup

[account roamer]
password=secret5
days=9
elsewhere=yes

[card 111122223333444455]
password=cardpass0001
days=30

[card 999988887777666655]
password=cardpass0002
days=30
expired=yes

[line 127.0.1.1]
direct=yes

[line 127.0.1.2]
user=拨号甲
password=pa$$ 口令+/=

[line 127.0.1.3]
user=dialer3
password=x
)";

QByteArray gbkBytes(const QString &text)
{
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

// A form body as the client builds it, encoded here independently of the back end.
QByteArray form(const Fields &fields)
{
    QByteArrayList pairs;
    for (const auto &[name, value] : fields)
        pairs.append(gbkBytes(name).toPercentEncoding() + '=' +
                     gbkBytes(value).toPercentEncoding());
    return pairs.join('&');
}

struct Reply
{
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray body;
    QByteArray contentType;
};

struct RawResponse
{
    QByteArray statusLine;
    QByteArray head;
    QByteArray body;
};

// Splits a complete response; empty when the bytes do not hold one yet.
std::optional<RawResponse> parseResponse(const QByteArray &bytes)
{
    const qsizetype headEnd = bytes.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return std::nullopt;
    RawResponse response;
    response.head = bytes.left(headEnd);
    response.statusLine = response.head.left(response.head.indexOf("\r\n"));
    const qsizetype lengthAt = response.head.indexOf("Content-Length: ");
    if (lengthAt < 0)
        return std::nullopt;
    const qsizetype lengthEnd = response.head.indexOf("\r\n", lengthAt);
    const qint64 length =
        response.head.mid(lengthAt + 16, lengthEnd < 0 ? -1 : lengthEnd - lengthAt - 16)
            .toLongLong();
    response.body = bytes.mid(headEnd + 4);
    if (response.body.size() < length)
        return std::nullopt;
    return response;
}

// How a connection ended, seen from the client's socket.
enum class Ending { Closed, Reset };

struct WireExchange
{
    QByteArray received;
    Ending ending = Ending::Closed;
};

// Sends request over a plain socket and collects every byte until the server closes or
// resets the connection; a reset is told apart from an orderly close, which Qt's sockets
// do not do. Empty when the exchange does not end.
std::optional<WireExchange> exchangeOnTheWire(const QByteArray &request)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::nullopt;
    const std::unique_ptr<const int, void (*)(const int *)> closer(
        &fd, [](const int *s) { ::close(*s); });
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(ServerPort);
    address.sin_addr.s_addr = htonl(ServerAddress.toIPv4Address());
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS)
        return std::nullopt;
    const bool connected = QTest::qWaitFor(
        [fd] {
            pollfd writable{fd, POLLOUT, 0};
            return ::poll(&writable, 1, 0) == 1;
        },
        20000);
    if (!connected || ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) !=
                          ssize_t(request.size()))
        return std::nullopt;

    WireExchange exchange;
    bool ended = false;
    const bool finished = QTest::qWaitFor(
        [&] {
            char buffer[64 * 1024];
            for (;;) {
                const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
                if (got > 0) {
                    exchange.received.append(buffer, got);
                    continue;
                }
                if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                    return false;
                if (got < 0 && errno == ECONNRESET)
                    exchange.ending = Ending::Reset;
                ended = got == 0 || errno == ECONNRESET;
                return true;
            }
        },
        20000);
    if (!finished || !ended)
        return std::nullopt;
    return exchange;
}

struct ScriptStep
{
    QString script;
    Fields fields;
    QString expected;
};

struct StatusStep
{
    QString user;
    QString uniqueId;
    QString expected;
};

ScriptStep usercheck(const QString &user, const QString &password, const QString &expected)
{
    return {QStringLiteral("usercheck7193.php"),
            {{QStringLiteral("UserID"), user}, {QStringLiteral("Upassword"), password}},
            expected};
}

ScriptStep registration(const QString &user, const QString &password, const QString &expected)
{
    return {QStringLiteral("user_self_new_save7193.php"),
            {{QStringLiteral("UserID"), user},
             {QStringLiteral("Upassword"), password},
             {QStringLiteral("Upassword2"), password},
             {QStringLiteral("User_True"), QStringLiteral("李四")},
             {QStringLiteral("User_Mobile"), QStringLiteral("13800000000")},
             {QStringLiteral("Email_Address"), QString()},
             {QStringLiteral("User_QQ"), QString()},
             {QStringLiteral("User_Address"), QString()}},
            expected};
}

ScriptStep recharge(const QString &user, const QString &password, const QString &card,
                    const QString &cardPassword, const QString &expected)
{
    return {QStringLiteral("reckon_new_save7193.php"),
            {{QStringLiteral("UserID"), user},
             {QStringLiteral("Upassword"), password},
             {QStringLiteral("mycardid"), card},
             {QStringLiteral("mycardpass"), cardPassword}},
            expected};
}

ScriptStep passwordChange(const QString &user, const QString &oldPassword,
                          const QString &newPassword, const QString &expected)
{
    return {QStringLiteral("mypass_save7193.php"),
            {{QStringLiteral("UserID"), user},
             {QStringLiteral("Upassword"), oldPassword},
             {QStringLiteral("Upassword1"), newPassword},
             {QStringLiteral("Upassword2"), newPassword}},
            expected};
}

QByteArray statuscheckBody(const QString &user, const QString &uniqueId)
{
    return form({{QStringLiteral("serverip"), QStringLiteral("127.0.1.1")},
                 {QStringLiteral("userpeerip"), QStringLiteral("127.0.0.1")},
                 {QStringLiteral("clientip"), QStringLiteral("10.8.0.2")},
                 {QStringLiteral("uniqueid"), uniqueId},
                 {QStringLiteral("username"), user},
                 {QStringLiteral("xmitdata"), QStringLiteral("1024")},
                 {QStringLiteral("recvdata"), QStringLiteral("2048")},
                 {QStringLiteral("onlinetime"), QStringLiteral("60000")}});
}

QByteArray ipcheckBody(const QString &server, const QString &user, const QString &password)
{
    return form({{QStringLiteral("serverip"), server},
                 {QStringLiteral("username"), user},
                 {QStringLiteral("Upassword"), password}});
}

} // namespace

Q_DECLARE_METATYPE(ScriptStep)
Q_DECLARE_METATYPE(Ending)
Q_DECLARE_METATYPE(StatusStep)

class TestDevBackend : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void demoDataLoads();
    void brokenDataIsRejected_data();
    void brokenDataIsRejected();
    void missingDataFileIsReported();

    void scriptReplies_data();
    void scriptReplies();
    void pagesAreGbkHtml_data();
    void pagesAreGbkHtml();
    void netcheckReportsPeerVersionAndRoute_data();
    void netcheckReportsPeerVersionAndRoute();
    void ipcheckHandsOutDoubleBase64Credentials_data();
    void ipcheckHandsOutDoubleBase64Credentials();
    void statuscheckNewestConnectionWins_data();
    void statuscheckNewestConnectionWins();
    void accountChanges_data();
    void accountChanges();

    void faultsFinishTheExchange_data();
    void faultsFinishTheExchange();
    void faultsTargetTheirScript_data();
    void faultsTargetTheirScript();
    void hangNeverAnswers();
    void hugeBodyIsStreamed();
    void faultsOnTheWire_data();
    void faultsOnTheWire();
    void redirectLeadsToTheAnswer_data();
    void redirectLeadsToTheAnswer();

    void requestsAreLogged_data();
    void requestsAreLogged();
    void rawExchanges_data();
    void rawExchanges();
    void closeDropsConnectionsAndRefusesNewOnes();
    void listenFailsOnBusyAddress();

private:
    QNetworkReply *start(const QByteArray &method, const QString &target,
                         const QByteArray &body = {}, const QByteArray &userAgent = {},
                         const QByteArray &accept = {});
    Reply exchange(const QByteArray &method, const QString &target, const QByteArray &body = {},
                   const QByteArray &userAgent = {}, const QByteArray &accept = {});
    Reply post(const QString &script, const QByteArray &body);
    void restartWith(BackendData data);

    QTemporaryDir m_dir;
    QString m_dataPath;
    BackendData m_data;
    std::unique_ptr<DevBackend> m_backend;
    QNetworkAccessManager m_network;
};

void TestDevBackend::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_dataPath = m_dir.filePath(QStringLiteral("data.ini"));
    QFile data(m_dataPath);
    QVERIFY(data.open(QIODevice::WriteOnly));
    data.write(TestData);
    data.close();
    QFile catalogue(m_dir.filePath(QStringLiteral("catalogue.ini")));
    QVERIFY(catalogue.open(QIODevice::WriteOnly));
    catalogue.write(TestCatalogue);
    catalogue.close();

    QString error;
    m_data = BackendData::load(m_dataPath, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    m_network.setProxy(QNetworkProxy::NoProxy);
}

void TestDevBackend::init()
{
    restartWith(m_data);
}

void TestDevBackend::cleanup()
{
    m_backend.reset();
}

void TestDevBackend::restartWith(BackendData data)
{
    m_backend.reset();
    m_backend = std::make_unique<DevBackend>(std::move(data));
    QVERIFY2(m_backend->listen(ServerAddress, ServerPort), qPrintable(m_backend->errorString()));
}

QNetworkReply *TestDevBackend::start(const QByteArray &method, const QString &target,
                                     const QByteArray &body, const QByteArray &userAgent,
                                     const QByteArray &accept)
{
    QNetworkRequest request(QUrl(QStringLiteral("http://%1:%2%3")
                                     .arg(ServerAddress.toString())
                                     .arg(ServerPort)
                                     .arg(target)));
    if (!body.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArray("application/x-www-form-urlencoded"));
    if (!userAgent.isEmpty())
        request.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
    if (!accept.isEmpty())
        request.setRawHeader("Accept", accept);
    return m_network.sendCustomRequest(request, method, body);
}

Reply TestDevBackend::exchange(const QByteArray &method, const QString &target,
                               const QByteArray &body, const QByteArray &userAgent,
                               const QByteArray &accept)
{
    std::unique_ptr<QNetworkReply> reply(start(method, target, body, userAgent, accept));
    if (!QTest::qWaitFor([&] { return reply->isFinished(); }, 20000))
        return {QNetworkReply::TimeoutError, 0, {}, {}};
    return {reply->error(), reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
            reply->readAll(), reply->header(QNetworkRequest::ContentTypeHeader).toByteArray()};
}

Reply TestDevBackend::post(const QString &script, const QByteArray &body)
{
    return exchange("POST", Scripts + script, body);
}

void TestDevBackend::demoDataLoads()
{
    QString error;
    const BackendData data = BackendData::load(QString::fromUtf8(DEVBACKEND_DEMO_DATA), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    for (const char *user : {"demo", "shortdays", "expired", "trial"})
        QVERIFY2(data.accounts.contains(QLatin1String(user)), user);

    // The client pings and dials every listed host: each must stay on this machine and
    // every line must have credentials to hand out.
    QString area;
    int lineCount = 0;
    for (const QString &rawLine : data.catalogue.split(QLatin1Char('\n'))) {
        const QString line = rawLine.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            area = line;
            continue;
        }
        const QString value = line.section(QLatin1Char('='), 1).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || value.isEmpty())
            continue;
        const QString host = value.section(QLatin1Char(','), 0, 0);
        QVERIFY2(QHostAddress(host).isLoopback(), qPrintable(line));
        if (area != QLatin1String("[Route]")) {
            QVERIFY2(data.lines.contains(host), qPrintable(line));
            ++lineCount;
        }
    }
    QVERIFY(lineCount >= 10);
}

void TestDevBackend::brokenDataIsRejected_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expectedError");

    QTest::newRow("line without =") << QByteArray("[account a]\npassword\n") << "line 2: expected";
    QTest::newRow("entry before any section")
        << QByteArray("; data\npassword=x\n") << "line 2: entry before the first section";
    QTest::newRow("unknown section") << QByteArray("[accounts]\n") << "line 1: unknown section";
    QTest::newRow("unknown key") << QByteArray("[account a]\npassword=x\ndays=1\ncolour=red\n")
                                 << "line 4: unknown key";
    QTest::newRow("key twice") << QByteArray("[account a]\npassword=x\npassword=y\ndays=1\n")
                               << "line 3: key";
    QTest::newRow("section twice")
        << QByteArray("[account a]\npassword=x\ndays=1\n[account a]\npassword=y\ndays=1\n")
        << "line 4: section [account a] given twice";
    QTest::newRow("missing password")
        << QByteArray("[account a]\ndays=1\n") << "missing key \"password\"";
    QTest::newRow("bad state") << QByteArray("[account a]\npassword=x\nstate=frozen\n")
                               << "line 3: state must be";
    QTest::newRow("days not a number")
        << QByteArray("[account a]\npassword=x\ndays=many\n") << "line 3: \"days\" must be";
    QTest::newRow("flag not yes or no")
        << QByteArray("[card 1]\npassword=x\ndays=3\nexpired=maybe\n") << "line 4: \"expired\"";
    QTest::newRow("dial line without password")
        << QByteArray("[line 127.0.1.1]\nuser=u\n") << "missing key \"password\"";
    QTest::newRow("missing catalogue")
        << QByteArray("[backend]\ncatalogue=nowhere.ini\n") << "line 2: cannot read catalogue";
}

void TestDevBackend::brokenDataIsRejected()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expectedError);

    const QString path = m_dir.filePath(QStringLiteral("broken.ini"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();

    QString error;
    const BackendData data = BackendData::load(path, &error);
    QVERIFY2(error.contains(expectedError), qPrintable(error));
    QVERIFY(error.startsWith(path));
    QVERIFY(data.accounts.isEmpty());
}

void TestDevBackend::missingDataFileIsReported()
{
    const QString path = m_dir.filePath(QStringLiteral("absent.ini"));
    QString error;
    BackendData::load(path, &error);
    QVERIFY2(error.startsWith(path + QLatin1Char(':')), qPrintable(error));
}

void TestDevBackend::scriptReplies_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("reply");

    const QByteArray post = "POST";
    const QByteArray get = "GET";
    const QString usercheck = Scripts + QStringLiteral("usercheck7193.php");
    const auto login = [](const QString &user, const QString &password) {
        return form({{QStringLiteral("UserID"), user}, {QStringLiteral("Upassword"), password}});
    };

    QTest::newRow("usercheck valid")
        << post << usercheck << login("alice", "secret1") << 200 << "剩余天数:30";
    QTest::newRow("usercheck wrong password")
        << post << usercheck << login("alice", "secret2") << 200 << "error";
    QTest::newRow("usercheck unknown user")
        << post << usercheck << login("nobody", "secret1") << 200 << "error";
    QTest::newRow("usercheck expired")
        << post << usercheck << login("old", "secret3") << 200 << "expire";
    QTest::newRow("usercheck used up")
        << post << usercheck << login("trial", "secret4") << 200 << "useup";
    QTest::newRow("usercheck GBK user name")
        << post << usercheck << login("张三", "密码12") << 200 << "剩余天数:5";
    QTest::newRow("usercheck own account text")
        << post << usercheck << login("bob", "secret2") << 200 << "账户剩余天数:7天";
    QTest::newRow("usercheck plus is a blank")
        << post << usercheck << QByteArray("UserID=carol+smith&Upassword=p%26s%3Dw%2Bd%25") << 200
        << "剩余天数:0";
    QTest::newRow("usercheck missing fields")
        << post << usercheck << QByteArray() << 200 << "error";
    QTest::newRow("usercheck by GET")
        << get << usercheck << QByteArray() << 405 << "Method Not Allowed";

    const QString vpnlist = Scripts + QStringLiteral("vpnlist7193.php");
    QTest::newRow("vpnlist with token") << get << vpnlist + "?viewstr=e7d2f9a0c3b" << QByteArray()
                                        << 200 << QString::fromUtf8(TestCatalogue);
    QTest::newRow("vpnlist wrong token")
        << get << vpnlist + "?viewstr=e7d2f9a0c3c" << QByteArray() << 200 << QString();
    QTest::newRow("vpnlist no token") << get << vpnlist << QByteArray() << 200 << QString();

    const QString ipcheck = Scripts + QStringLiteral("ipcheck7193.php");
    QTest::newRow("ipcheck direct line")
        << post << ipcheck << ipcheckBody("127.0.1.1", "alice", "secret1") << 200 << Direct;
    QTest::newRow("ipcheck wrong password")
        << post << ipcheck << ipcheckBody("127.0.1.1", "alice", "secret9") << 200 << QString();
    QTest::newRow("ipcheck expired account")
        << post << ipcheck << ipcheckBody("127.0.1.1", "old", "secret3") << 200 << QString();
    QTest::newRow("ipcheck unknown server")
        << post << ipcheck << ipcheckBody("127.0.1.99", "alice", "secret1") << 200 << QString();

    QTest::newRow("statuscheck ok")
        << post << Scripts + "statuscheck7193.php"
        << statuscheckBody("alice", "2024010112000000012345678") << 200 << "ok";
    QTest::newRow("statuscheck marked in data")
        << post << Scripts + "statuscheck7193.php"
        << statuscheckBody("roamer", "2024010112000000012345678") << 200 << Kicked;

    const ScriptStep existing = registration("alice", "another1", "2");
    QTest::newRow("register existing user")
        << post << Scripts + existing.script << form(existing.fields) << 200 << existing.expected;
    for (const ScriptStep &step :
         {recharge("alice", "wrong", "111122223333444455", "cardpass0001", "1"),
          recharge("alice", "secret1", "000000000000000000", "cardpass0001", "2"),
          recharge("alice", "secret1", "111122223333444455", "cardpass9999", "2"),
          recharge("alice", "secret1", "999988887777666655", "cardpass0002", "3"),
          passwordChange("alice", "wrong", "newpass1", "1"),
          passwordChange("nobody", "secret1", "newpass1", "1")}) {
        QTest::addRow("%s %s %s", qPrintable(step.script), qPrintable(step.fields.at(1).second),
                      qPrintable(step.fields.at(2).second))
            << post << Scripts + step.script << form(step.fields) << 200 << step.expected;
    }

    QTest::newRow("unknown script")
        << get << Scripts + "nothing7193.php" << QByteArray() << 404 << "Not Found";
    QTest::newRow("unknown path") << get << QStringLiteral("/nothing.htm") << QByteArray() << 404
                                  << "Not Found";
    QTest::newRow("page by POST") << post << QStringLiteral("/softnews.asp") << QByteArray("a=1")
                                  << 405 << "Method Not Allowed";
}

void TestDevBackend::scriptReplies()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, target);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QString, reply);

    const Reply answer = exchange(method, target, body);
    QCOMPARE(answer.status, status);
    QCOMPARE(answer.body, gbkBytes(reply));
}

void TestDevBackend::pagesAreGbkHtml_data()
{
    QTest::addColumn<QString>("path");
    for (const char *path :
         {"/taverinclient/top.htm", "/taverinclient/maintop.htm", "/softnews.asp", "/pay.asp", "/",
          "/help/", "/news/", "/contact.html", "/sysadmin/useradmin/"})
        QTest::newRow(path) << QString::fromLatin1(path);
}

void TestDevBackend::pagesAreGbkHtml()
{
    QFETCH(QString, path);

    const Reply reply = exchange("GET", path);
    QCOMPARE(reply.status, 200);
    QVERIFY(reply.contentType.startsWith("text/html"));
    QStringDecoder decoder("GBK");
    const QString html = decoder.decode(reply.body);
    QVERIFY(!decoder.hasError());
    QVERIFY(html.startsWith(QLatin1String("<html>")));
    QVERIFY(html.contains(QLatin1String("charset=GBK")));
    // Every page has Chinese text, which in GBK is never valid UTF-8.
    QVERIFY(QString::fromUtf8(reply.body).contains(QChar::ReplacementCharacter));
}

void TestDevBackend::netcheckReportsPeerVersionAndRoute_data()
{
    QTest::addColumn<bool>("defaultData");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("route");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("from the data file")
        << false << QString() << QString() << QByteArray("127.0.77.50-6.3-127.0.9.9");
    QTest::newRow("defaults") << true << QString() << QString()
                              << QByteArray("127.0.77.50-6.0-127.0.77.1");
    QTest::newRow("changed version and route")
        << false << "7.1"
        << "127.0.8.8" << QByteArray("127.0.77.50-7.1-127.0.8.8");
    QTest::newRow("route cleared") << false << "7.1"
                                   << "" << QByteArray("127.0.77.50-7.1-127.0.77.1");
}

void TestDevBackend::netcheckReportsPeerVersionAndRoute()
{
    QFETCH(bool, defaultData);
    QFETCH(QString, version);
    QFETCH(QString, route);
    QFETCH(QByteArray, reply);

    if (defaultData)
        restartWith(BackendData{});
    if (!version.isNull())
        m_backend->setVersion(version);
    if (!route.isNull())
        m_backend->setRouteAddress(route);

    // A client on a known address of its own, so that the reported peer is predictable.
    QTcpSocket socket;
    QVERIFY(socket.bind(QHostAddress(QStringLiteral("127.0.77.50"))));
    socket.connectToHost(ServerAddress, ServerPort);
    socket.write("GET /sysadmin/useradmin/netcheck7193.php HTTP/1.1\r\nHost: a\r\n\r\n");
    QByteArray received;
    QVERIFY(QTest::qWaitFor(
        [&] {
            received += socket.readAll();
            return parseResponse(received).has_value();
        },
        20000));
    const RawResponse response = *parseResponse(received);
    QCOMPARE(response.statusLine, QByteArray("HTTP/1.1 200 OK"));
    QCOMPARE(response.body, reply);
}

void TestDevBackend::ipcheckHandsOutDoubleBase64Credentials_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("dialUser");
    QTest::addColumn<QString>("dialPassword");

    QTest::newRow("GBK credentials") << "127.0.1.2"
                                     << "拨号甲"
                                     << "pa$$ 口令+/=";
    QTest::newRow("ASCII credentials") << "127.0.1.3"
                                       << "dialer3"
                                       << "x";
}

void TestDevBackend::ipcheckHandsOutDoubleBase64Credentials()
{
    QFETCH(QString, server);
    QFETCH(QString, dialUser);
    QFETCH(QString, dialPassword);

    const Reply reply = post(QStringLiteral("ipcheck7193.php"),
                             ipcheckBody(server, QStringLiteral("张三"), QStringLiteral("密码12")));
    QCOMPARE(reply.status, 200);
    const qsizetype separatorAt = reply.body.indexOf(CredentialSeparator);
    QVERIFY(separatorAt > 0);
    const QByteArrayList pieces{reply.body.left(separatorAt),
                                reply.body.mid(separatorAt + CredentialSeparator.size())};
    const QStringList expected{dialUser, dialPassword};
    for (qsizetype index = 0; index < 2; ++index) {
        const QByteArray &piece = pieces.at(index);
        QCOMPARE(piece.size() % 4, 0);
        const auto outer =
            QByteArray::fromBase64Encoding(piece, QByteArray::AbortOnBase64DecodingErrors);
        QVERIFY(outer);
        const auto inner =
            QByteArray::fromBase64Encoding(*outer, QByteArray::AbortOnBase64DecodingErrors);
        QVERIFY(inner);
        QCOMPARE(*inner, gbkBytes(expected.at(index)));
    }
}

void TestDevBackend::statuscheckNewestConnectionWins_data()
{
    QTest::addColumn<QStringList>("marked");
    QTest::addColumn<QStringList>("unmarked");
    QTest::addColumn<QList<StatusStep>>("steps");

    const QString ok = QStringLiteral("ok");
    QTest::newRow("one connection keeps reporting")
        << QStringList() << QStringList()
        << QList<StatusStep>{{"alice", "A", ok}, {"alice", "A", ok}, {"alice", "A", ok}};
    QTest::newRow("a newer connection wins")
        << QStringList() << QStringList()
        << QList<StatusStep>{
               {"alice", "A", ok}, {"alice", "B", ok}, {"alice", "A", Kicked}, {"alice", "B", ok}};
    QTest::newRow("the older connection stays out")
        << QStringList() << QStringList()
        << QList<StatusStep>{{"alice", "A", ok},     {"alice", "B", ok}, {"alice", "A", Kicked},
                             {"alice", "A", Kicked}, {"alice", "C", ok}, {"alice", "B", Kicked}};
    QTest::newRow("users are separate")
        << QStringList() << QStringList()
        << QList<StatusStep>{
               {"alice", "A", ok}, {"张三", "B", ok}, {"alice", "A", ok}, {"张三", "B", ok}};
    QTest::newRow("marked as logged in elsewhere")
        << QStringList{"alice"} << QStringList()
        << QList<StatusStep>{{"alice", "A", Kicked}, {"bob", "A", ok}};
    QTest::newRow("mark from the data cleared")
        << QStringList() << QStringList{"roamer"} << QList<StatusStep>{{"roamer", "A", ok}};
}

void TestDevBackend::statuscheckNewestConnectionWins()
{
    QFETCH(QStringList, marked);
    QFETCH(QStringList, unmarked);
    QFETCH(QList<StatusStep>, steps);

    for (const QString &user : marked)
        m_backend->setLoggedInElsewhere(user);
    for (const QString &user : unmarked)
        m_backend->setLoggedInElsewhere(user, false);
    for (qsizetype index = 0; index < steps.size(); ++index) {
        const StatusStep &step = steps.at(index);
        const Reply reply =
            post(QStringLiteral("statuscheck7193.php"), statuscheckBody(step.user, step.uniqueId));
        QVERIFY2(reply.body == gbkBytes(step.expected),
                 qPrintable(QStringLiteral("step %1: %2").arg(index + 1).arg(reply.body)));
    }
}

void TestDevBackend::accountChanges_data()
{
    QTest::addColumn<bool>("registrationOpen");
    QTest::addColumn<QList<ScriptStep>>("steps");

    const QString card = QStringLiteral("111122223333444455");
    const QString cardPassword = QStringLiteral("cardpass0001");

    QTest::newRow("register then log in")
        << true
        << QList<ScriptStep>{
               usercheck("newbie", "pass123", "error"), registration("newbie", "pass123", "ok"),
               usercheck("newbie", "pass123", "剩余天数:1"), registration("newbie", "other12", "2"),
               usercheck("newbie", "other12", "error")};
    QTest::newRow("register a GBK user name")
        << true
        << QList<ScriptStep>{registration("李四", "口令1234", "ok"),
                             usercheck("李四", "口令1234", "剩余天数:1")};
    QTest::newRow("registration switched off")
        << false
        << QList<ScriptStep>{registration("newbie", "pass123", "1"),
                             usercheck("newbie", "pass123", "error")};
    QTest::newRow("recharge adds days and uses the card")
        << true
        << QList<ScriptStep>{recharge("alice", "secret1", card, cardPassword, "ok"),
                             usercheck("alice", "secret1", "剩余天数:60"),
                             recharge("bob", "secret2", card, cardPassword, "2"),
                             usercheck("bob", "secret2", "账户剩余天数:7天")};
    QTest::newRow("recharge revives an expired account")
        << true
        << QList<ScriptStep>{recharge("old", "secret3", card, cardPassword, "ok"),
                             usercheck("old", "secret3", "剩余天数:30")};
    QTest::newRow("password change")
        << true
        << QList<ScriptStep>{passwordChange("alice", "secret1", "新密码99", "ok"),
                             usercheck("alice", "secret1", "error"),
                             usercheck("alice", "新密码99", "剩余天数:30"),
                             passwordChange("alice", "secret1", "again123", "1")};
}

void TestDevBackend::accountChanges()
{
    QFETCH(bool, registrationOpen);
    QFETCH(QList<ScriptStep>, steps);

    BackendData data = m_data;
    data.registrationOpen = registrationOpen;
    restartWith(data);
    for (qsizetype index = 0; index < steps.size(); ++index) {
        const ScriptStep &step = steps.at(index);
        const Reply reply = post(step.script, form(step.fields));
        QVERIFY2(reply.body == gbkBytes(step.expected),
                 qPrintable(QStringLiteral("step %1 (%2): %3")
                                .arg(index + 1)
                                .arg(step.script, QString::fromUtf8(reply.body))));
    }
}

void TestDevBackend::faultsFinishTheExchange_data()
{
    QTest::addColumn<DevBackend::Fault>("fault");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<bool>("networkError");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body"); // null: not a fixed text

    QTest::newRow("refuse") << DevBackend::Fault::Refuse << 0 << true << 0 << QByteArray();
    QTest::newRow("slow") << DevBackend::Fault::Slow << 400 << false << 200
                          << gbkBytes(QStringLiteral("剩余天数:30"));
    QTest::newRow("http 500") << DevBackend::Fault::Http500 << 0 << true << 500
                              << QByteArray("Internal Server Error");
    QTest::newRow("garbage") << DevBackend::Fault::Garbage << 0 << false << 200 << QByteArray();
}

void TestDevBackend::faultsFinishTheExchange()
{
    QFETCH(DevBackend::Fault, fault);
    QFETCH(int, delayMs);
    QFETCH(bool, networkError);
    QFETCH(int, status);
    QFETCH(QByteArray, body);

    m_backend->setFault(QStringLiteral("usercheck7193.php"), fault, delayMs);
    QElapsedTimer clock;
    clock.start();
    const Reply reply = post(QStringLiteral("usercheck7193.php"),
                             form({{QStringLiteral("UserID"), QStringLiteral("alice")},
                                   {QStringLiteral("Upassword"), QStringLiteral("secret1")}}));
    QVERIFY(clock.elapsed() >= delayMs);
    QCOMPARE(reply.error != QNetworkReply::NoError, networkError);
    QVERIFY(reply.error != QNetworkReply::TimeoutError);
    QCOMPARE(reply.status, status);
    if (!body.isNull()) {
        QCOMPARE(reply.body, body);
    } else if (fault == DevBackend::Fault::Garbage) {
        QVERIFY(reply.body.size() >= 100 && reply.body.size() <= 1000);
        QVERIFY(reply.body.contains('\0'));
        QStringDecoder decoder("GBK");
        const QString text = decoder.decode(reply.body);
        QVERIFY(decoder.hasError());
        QVERIFY(text.contains(QChar::ReplacementCharacter));
    }
}

void TestDevBackend::faultsTargetTheirScript_data()
{
    QTest::addColumn<FaultList>("faults");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");

    const QString netcheck = Scripts + QStringLiteral("netcheck7193.php");
    QTest::newRow("other script unaffected")
        << FaultList{{"usercheck7193.php", DevBackend::Fault::Http500}} << netcheck << 200;
    QTest::newRow("star hits every script")
        << FaultList{{"*", DevBackend::Fault::Http500}} << netcheck << 500;
    QTest::newRow("star hits pages") << FaultList{{"*", DevBackend::Fault::Http500}}
                                     << QStringLiteral("/taverinclient/top.htm") << 500;
    QTest::newRow("page by its last component")
        << FaultList{{"top.htm", DevBackend::Fault::Http500}}
        << QStringLiteral("/taverinclient/top.htm") << 500;
    QTest::newRow("script setting wins over star")
        << FaultList{{"*", DevBackend::Fault::Http500},
                     {"netcheck7193.php", DevBackend::Fault::Slow}}
        << netcheck << 200;
    QTest::newRow("cleared") << FaultList{{"netcheck7193.php", DevBackend::Fault::Http500},
                                          {"netcheck7193.php", DevBackend::Fault::None}}
                             << netcheck << 200;
}

void TestDevBackend::faultsTargetTheirScript()
{
    QFETCH(FaultList, faults);
    QFETCH(QString, path);
    QFETCH(int, status);

    for (const auto &[script, fault] : faults)
        m_backend->setFault(script, fault);
    QCOMPARE(exchange("GET", path).status, status);
}

void TestDevBackend::hangNeverAnswers()
{
    m_backend->setFault(QStringLiteral("netcheck7193.php"), DevBackend::Fault::Hang);
    QSignalSpy logged(m_backend.get(), &DevBackend::requestLogged);
    std::unique_ptr<QNetworkReply> reply(start("GET", Scripts + "netcheck7193.php"));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);

    QTRY_COMPARE_WITH_TIMEOUT(logged.size(), 1, 20000);
    QVERIFY(!finished.wait(500));
    reply->abort();
    QCOMPARE(finished.size(), 1);
    QCOMPARE(reply->error(), QNetworkReply::OperationCanceledError);

    // The back end is still there for the next request.
    m_backend->setFault(QStringLiteral("netcheck7193.php"), DevBackend::Fault::None);
    QCOMPARE(exchange("GET", Scripts + "netcheck7193.php").status, 200);
}

void TestDevBackend::hugeBodyIsStreamed()
{
    m_backend->setFault(QStringLiteral("*"), DevBackend::Fault::Huge);
    qint64 received = 0;
    qint64 announced = 0;
    std::unique_ptr<QNetworkReply> reply(start("GET", Scripts + "vpnlist7193.php"));
    connect(reply.get(), &QNetworkReply::readyRead, this, [&] {
        announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        received += reply->readAll().size();
        // Enough to show the body streams; the rest would only cost time.
        if (received >= 8 * MiB)
            reply->abort();
    });

    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 60000);
    QCOMPARE(reply->error(), QNetworkReply::OperationCanceledError);
    QVERIFY(received >= 8 * MiB);
    QCOMPARE(announced, 64 * MiB);

    m_backend->setFault(QStringLiteral("*"), DevBackend::Fault::None);
    QCOMPARE(exchange("GET", Scripts + "netcheck7193.php").status, 200);
}

void TestDevBackend::faultsOnTheWire_data()
{
    QTest::addColumn<DevBackend::Fault>("fault");
    QTest::addColumn<QByteArray>("statusLine"); // empty: not a byte is answered
    QTest::addColumn<QByteArray>("header");     // a head line the answer must have
    QTest::addColumn<qint64>("bodySent");
    QTest::addColumn<Ending>("ending");

    const QByteArray ok = "HTTP/1.1 200 OK";
    QTest::newRow("refuse closes")
        << DevBackend::Fault::Refuse << QByteArray() << QByteArray() << qint64(0) << Ending::Closed;
    QTest::newRow("reset") << DevBackend::Fault::Reset << QByteArray() << QByteArray() << qint64(0)
                           << Ending::Reset;
    QTest::newRow("redirect") << DevBackend::Fault::Redirect << QByteArray("HTTP/1.1 302 Found")
                              << QByteArray(
                                     "Location: http://127.0.77.1:8000/moved/sysadmin/useradmin/"
                                     "netcheck7193.php?viewstr=%E4%B8%AD")
                              << qint64(0) << Ending::Closed;
    QTest::newRow("empty") << DevBackend::Fault::Empty << ok << QByteArray("Content-Length: 0")
                           << qint64(0) << Ending::Closed;
    QTest::newRow("garbage") << DevBackend::Fault::Garbage << ok
                             << QByteArray("Content-Length: 300") << qint64(300) << Ending::Closed;
    QTest::newRow("large") << DevBackend::Fault::Large << ok
                           << QByteArray("Content-Length: 10000000") << qint64(10000000)
                           << Ending::Closed;
    QTest::newRow("reset in the body")
        << DevBackend::Fault::ResetInBody << ok << QByteArray("Content-Length: 65536")
        << qint64(16384) << Ending::Reset;
}

void TestDevBackend::faultsOnTheWire()
{
    QFETCH(DevBackend::Fault, fault);
    QFETCH(QByteArray, statusLine);
    QFETCH(QByteArray, header);
    QFETCH(qint64, bodySent);
    QFETCH(Ending, ending);

    m_backend->setFault(QStringLiteral("netcheck7193.php"), fault);
    const std::optional<WireExchange> exchange =
        exchangeOnTheWire("GET /sysadmin/useradmin/netcheck7193.php?viewstr=%E4%B8%AD HTTP/1.1\r\n"
                          "Host: 127.0.77.1:8000\r\n\r\n");
    QVERIFY(exchange);
    QCOMPARE(exchange->ending, ending);
    QCOMPARE(m_backend->requests().size(), 1);
    if (statusLine.isEmpty()) {
        QCOMPARE(exchange->received, QByteArray());
        return;
    }
    const qsizetype headEnd = exchange->received.indexOf("\r\n\r\n");
    QVERIFY(headEnd > 0);
    const QByteArrayList head = exchange->received.left(headEnd).split('\n');
    QCOMPARE(head.first().trimmed(), statusLine);
    QVERIFY2(head.contains(header + '\r'), exchange->received.left(headEnd).constData());
    QCOMPARE(exchange->received.size() - headEnd - 4, bodySent);
}

void TestDevBackend::redirectLeadsToTheAnswer_data()
{
    QTest::addColumn<QString>("script"); // where the redirect is set

    QTest::newRow("script redirected") << QStringLiteral("netcheck7193.php");
    // The moved path must be answered, or a client following redirects would loop.
    QTest::newRow("every path redirected") << QStringLiteral("*");
}

void TestDevBackend::redirectLeadsToTheAnswer()
{
    QFETCH(QString, script);
    m_backend->setFault(script, DevBackend::Fault::Redirect);

    const Reply reply = exchange("GET", Scripts + "netcheck7193.php?x=1");

    QCOMPARE(reply.error, QNetworkReply::NoError);
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.body, QByteArray("127.0.0.1-6.3-127.0.9.9"));
    QStringList asked;
    for (const LoggedRequest &request : m_backend->requests())
        asked << request.path + '?' + request.query;
    QCOMPARE(asked, (QStringList{Scripts + "netcheck7193.php?x=1",
                                 "/moved" + Scripts + "netcheck7193.php?x=1"}));
}

void TestDevBackend::requestsAreLogged_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("userAgent");
    QTest::addColumn<QByteArray>("accept");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("query");
    QTest::addColumn<Fields>("fields");

    const Fields login{{"UserID", "张三"}, {"Upassword", "密码 12&="}};
    QTest::newRow("form POST") << QByteArray("POST") << Scripts + "usercheck7193.php" << form(login)
                               << QByteArray("Mozilla/3.0 (compatible; Indy Library)")
                               << QByteArray("text/html, */*") << Scripts + "usercheck7193.php"
                               << QString() << login;
    QTest::newRow("GET with query")
        << QByteArray("GET") << Scripts + "vpnlist7193.php?viewstr=e7d2f9a0c3b" << QByteArray()
        << QByteArray("iisuser_class") << QByteArray() << Scripts + "vpnlist7193.php"
        << "viewstr=e7d2f9a0c3b" << Fields();
}

void TestDevBackend::requestsAreLogged()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, target);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, userAgent);
    QFETCH(QByteArray, accept);
    QFETCH(QString, path);
    QFETCH(QString, query);
    QFETCH(Fields, fields);

    QSignalSpy logged(m_backend.get(), &DevBackend::requestLogged);
    QCOMPARE(exchange(method, target, body, userAgent, accept).status, 200);

    QCOMPARE(m_backend->requests().size(), 1);
    const LoggedRequest request = m_backend->requests().first();
    QCOMPARE(request.method, QString::fromLatin1(method));
    QCOMPARE(request.path, path);
    QCOMPARE(request.query, query);
    QCOMPARE(request.body, body);
    QCOMPARE(request.fields, fields);
    QCOMPARE(request.userAgent, userAgent);
    if (!accept.isEmpty())
        QCOMPARE(request.accept, accept);
    QCOMPARE(logged.size(), 1);
    QCOMPARE(logged.first().first().value<LoggedRequest>().fields, fields);

    m_backend->clearRequests();
    QVERIFY(m_backend->requests().isEmpty());
}

void TestDevBackend::rawExchanges_data()
{
    QTest::addColumn<QByteArrayList>("parts");
    QTest::addColumn<QByteArray>("statusLine");
    QTest::addColumn<QByteArray>("body");

    const QByteArray loginBody = form({{"UserID", "张三"}, {"Upassword", "密码12"}});
    const QByteArray loginHead = "POST /sysadmin/useradmin/usercheck7193.php HTTP/1.1\r\n"
                                 "Host: 127.0.77.1:8000\r\n"
                                 "Content-Type: application/x-www-form-urlencoded\r\n"
                                 "Content-Length: " +
                                 QByteArray::number(loginBody.size()) + "\r\n\r\n";
    const QByteArray ok = "HTTP/1.1 200 OK";
    const QByteArray days = gbkBytes(QStringLiteral("剩余天数:5"));

    QTest::newRow("whole") << QByteArrayList{loginHead + loginBody} << ok << days;
    QTest::newRow("request line split")
        << QByteArrayList{loginHead.left(3), loginHead.mid(3) + loginBody} << ok << days;
    QTest::newRow("head end split")
        << QByteArrayList{loginHead.chopped(3), loginHead.right(3), loginBody} << ok << days;
    QTest::newRow("body split inside an escape")
        << QByteArrayList{loginHead + loginBody.left(10), loginBody.mid(10, 1), loginBody.mid(11)}
        << ok << days;
    QTest::newRow("HTTP/1.0")
        << QByteArrayList{"GET /sysadmin/useradmin/vpnlist7193.php?viewstr=x HTTP/1.0\r\n\r\n"}
        << ok << QByteArray();
    QTest::newRow("declared body over 1 MiB")
        << QByteArrayList{"POST /sysadmin/useradmin/usercheck7193.php HTTP/1.1\r\n"
                          "Content-Length: 1048577\r\n\r\nUserID="}
        << QByteArray("HTTP/1.1 413 Payload Too Large") << QByteArray("Payload Too Large");
    QTest::newRow("head over 1 MiB")
        << QByteArrayList{"GET / HTTP/1.1\r\nX-Filler: " + QByteArray(MiB, 'x')}
        << QByteArray("HTTP/1.1 413 Payload Too Large") << QByteArray("Payload Too Large");
    QTest::newRow("not HTTP") << QByteArrayList{"HELLO\r\n\r\n"}
                              << QByteArray("HTTP/1.1 400 Bad Request")
                              << QByteArray("Bad Request");
    QTest::newRow("header without colon")
        << QByteArrayList{"GET / HTTP/1.1\r\nbroken\r\n\r\n"}
        << QByteArray("HTTP/1.1 400 Bad Request") << QByteArray("Bad Request");
    QTest::newRow("chunked body")
        << QByteArrayList{"POST /sysadmin/useradmin/usercheck7193.php HTTP/1.1\r\n"
                          "Transfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n"}
        << QByteArray("HTTP/1.1 501 Not Implemented") << QByteArray("Not Implemented");
}

void TestDevBackend::rawExchanges()
{
    QFETCH(QByteArrayList, parts);
    QFETCH(QByteArray, statusLine);
    QFETCH(QByteArray, body);

    QTcpSocket socket;
    socket.connectToHost(ServerAddress, ServerPort);
    QVERIFY(
        QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }, 20000));
    for (const QByteArray &part : parts) {
        socket.write(part);
        QVERIFY(QTest::qWaitFor([&] { return socket.bytesToWrite() == 0; }, 20000));
        // Pace the parts so that they travel as separate segments.
        QTest::qWait(30);
    }
    QByteArray received;
    QVERIFY(QTest::qWaitFor(
        [&] {
            received += socket.readAll();
            return parseResponse(received).has_value();
        },
        20000));
    const RawResponse response = *parseResponse(received);
    QCOMPARE(response.statusLine, statusLine);
    QCOMPARE(response.body, body);
    QVERIFY(response.head.contains("\r\nConnection: close"));
    QVERIFY(QTest::qWaitFor(
        [&] {
            received += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        20000));
}

void TestDevBackend::closeDropsConnectionsAndRefusesNewOnes()
{
    m_backend->setFault(QStringLiteral("*"), DevBackend::Fault::Hang);
    QSignalSpy logged(m_backend.get(), &DevBackend::requestLogged);
    std::unique_ptr<QNetworkReply> hanging(start("GET", Scripts + "netcheck7193.php"));
    QTRY_COMPARE_WITH_TIMEOUT(logged.size(), 1, 20000);

    m_backend->close();
    QTRY_VERIFY_WITH_TIMEOUT(hanging->isFinished(), 20000);
    QVERIFY(hanging->error() != QNetworkReply::NoError);
    QCOMPARE(exchange("GET", Scripts + "netcheck7193.php").error,
             QNetworkReply::ConnectionRefusedError);
}

void TestDevBackend::listenFailsOnBusyAddress()
{
    DevBackend second(m_data);
    QVERIFY(!second.listen(ServerAddress, ServerPort));
    QVERIFY(!second.errorString().isEmpty());
}

QTEST_GUILESS_MAIN(TestDevBackend)
#include "tst_devbackend.moc"
