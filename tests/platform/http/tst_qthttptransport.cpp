#include "platform/http/QtHttpTransport.h"

#include "platform/http/FormPost.h"

#include "support/TestEnvironment.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using devbackend::DevBackend;
using platform::FormFields;
using platform::QtHttpTransport;

namespace {
const QString Address = QStringLiteral("127.0.63.1");
const QString Unused = QStringLiteral("127.0.63.2"); // nothing listens here
} // namespace

class TestQtHttpTransport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void encodeForm_data();
    void encodeForm();
    void decode_data();
    void decode();

    void parseHttpReply_data();
    void parseHttpReply();
    void postSendsFormInCodePage();
    void postIsNeverRepeated_data();
    void postIsNeverRepeated();
    void getFollowsConventions();
    void failures_data();
    void failures();
    void getCutShortIsAFailure();
    void userInputIsDroppedWhileWaiting();

private:
    QUrl url(const QString &script, const QString &host = Address) const
    {
        return QUrl(QStringLiteral("http://%1:8000/sysadmin/useradmin/%2").arg(host, script));
    }

    std::unique_ptr<DevBackend> m_backend;
    QtHttpTransport m_http{QStringLiteral("GBK"), {2000, 1000, 500}};
};

void TestQtHttpTransport::initTestCase()
{
    m_backend = testsupport::startBackend(Address);
}

void TestQtHttpTransport::init()
{
    m_backend->setFault(QStringLiteral("*"), DevBackend::Fault::None);
    m_backend->clearRequests();
}

void TestQtHttpTransport::encodeForm_data()
{
    QTest::addColumn<FormFields>("fields");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("plain") << FormFields{{"UserID", "alice"}, {"Upassword", "pw"}}
                           << QByteArray("UserID=alice&Upassword=pw");
    QTest::newRow("separators cannot inject fields")
        << FormFields{{"UserID", "a&Upassword=x"}, {"Upassword", "1+1=2 50%"}}
        << QByteArray("UserID=a%26Upassword%3Dx&Upassword=1%2B1%3D2+50%25");
    QTest::newRow("Chinese text in GBK")
        << FormFields{{"User_Address", "上海"}} << QByteArray("User_Address=%C9%CF%BA%A3");
    QTest::newRow("empty values are sent")
        << FormFields{{"a", ""}, {"b", ""}} << QByteArray("a=&b=");
}

void TestQtHttpTransport::encodeForm()
{
    QFETCH(FormFields, fields);
    QFETCH(QByteArray, expected);
    QCOMPARE(QtHttpTransport::encodeForm(fields, "GBK"), expected);
}

void TestQtHttpTransport::decode_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected");

    QTest::newRow("ascii") << QByteArray("error") << QString("error");
    QTest::newRow("GBK") << QByteArray::fromHex("c9cfbaa3") << QString("上海");
    QTest::newRow("invalid trail byte becomes a replacement character")
        << QByteArray::fromHex("41812042") << QString("A\uFFFD B");
    QTest::newRow("NUL kept") << QByteArray::fromHex("4100c9cf") << QString::fromUtf16(u"A\0上", 3);
    QTest::newRow("truncated double-byte character at the end")
        << QByteArray::fromHex("41c9") << QString("A\uFFFD");
}

void TestQtHttpTransport::decode()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);
    QCOMPARE(QtHttpTransport::decode(body, "GBK"), expected);
}

void TestQtHttpTransport::parseHttpReply_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<bool>("parsed");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("length given") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")
                                  << true << 200 << QByteArray("ok");
    QTest::newRow("body up to the close")
        << QByteArray("HTTP/1.0 200 OK\r\n\r\nerror") << true << 200 << QByteArray("error");
    QTest::newRow("extra bytes after the length are not body")
        << QByteArray("HTTP/1.1 200 OK\r\ncontent-length: 2\r\n\r\nokXX") << true << 200
        << QByteArray("ok");
    QTest::newRow("chunked") << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                           "2\r\nok\r\n3;x=1\r\n\nab\r\n0\r\n\r\n")
                             << true << 200 << QByteArray("ok\nab");
    QTest::newRow("status without reason")
        << QByteArray("HTTP/1.1 500\r\n\r\n") << true << 500 << QByteArray();
    QTest::newRow("cut short") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nok")
                               << false << 200 << QByteArray();
    QTest::newRow("chunked, cut short")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n9\r\nok") << false
        << 200 << QByteArray();
    QTest::newRow("no header end")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2") << false << 0 << QByteArray();
    QTest::newRow("not HTTP") << QByteArray("\x00\xff garbage\r\n\r\nok", 18) << false << 0
                              << QByteArray();
}

void TestQtHttpTransport::parseHttpReply()
{
    QFETCH(QByteArray, raw);
    QFETCH(bool, parsed);
    QFETCH(int, status);
    QFETCH(QByteArray, body);

    platform::FormPostReply reply;
    QCOMPARE(platform::parseHttpReply(raw, reply), parsed);
    QCOMPARE(reply.status, status);
    if (parsed)
        QCOMPARE(reply.body, body);
}

void TestQtHttpTransport::postIsNeverRepeated_data()
{
    QTest::addColumn<DevBackend::Fault>("fault");

    QTest::newRow("dropped without a reply") << DevBackend::Fault::Refuse;
    QTest::newRow("never answers") << DevBackend::Fault::Hang;
    QTest::newRow("HTTP 500") << DevBackend::Fault::Http500;
    QTest::newRow("huge reply") << DevBackend::Fault::Huge;
}

void TestQtHttpTransport::postIsNeverRepeated()
{
    QFETCH(DevBackend::Fault, fault);
    m_backend->setFault("reckon_new_save7193.php", fault);

    const platform::HttpResult result =
        m_http.postForm(url("reckon_new_save7193.php"), {{"mycardid", "1234"}});

    QVERIFY(!result.ok);
    QTest::qWait(100); // a resend would arrive right after the failure
    QCOMPARE(m_backend->requests().size(), 1);
}

void TestQtHttpTransport::postSendsFormInCodePage()
{
    const platform::HttpResult result =
        m_http.postForm(url("usercheck7193.php"), {{"UserID", "张三"}, {"Upassword", "密码 &=+%"}});

    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.status, 200);
    QCOMPARE(result.text, QString("剩余天数:5"));
    const devbackend::LoggedRequest request = m_backend->requests().constLast();
    QCOMPARE(request.method, QString("POST"));
    QCOMPARE(request.userAgent, QByteArray("Mozilla/3.0 (compatible; Indy Library)"));
    QCOMPARE(request.accept, QByteArray("text/html, */*"));
    QCOMPARE(request.fields.size(), 2);
    QCOMPARE(request.fields.at(0).second, QString("张三"));
    QCOMPARE(request.fields.at(1).second, QString("密码 &=+%"));
}

void TestQtHttpTransport::getFollowsConventions()
{
    const platform::HttpResult result = m_http.get(url("vpnlist7193.php?viewstr=e7d2f9a0c3b"));

    QVERIFY2(result.ok, qPrintable(result.error));
    QVERIFY(result.text.startsWith("[华东电信]"));
    QCOMPARE(m_backend->requests().constLast().userAgent, QByteArray("iisuser_class"));
}

void TestQtHttpTransport::failures_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<DevBackend::Fault>("fault");
    QTest::addColumn<bool>("post");

    for (bool post : {false, true}) {
        const char *method = post ? "POST" : "GET";
        QTest::addRow("%s: nobody listening", method) << Unused << DevBackend::Fault::None << post;
        QTest::addRow("%s: connection dropped", method)
            << Address << DevBackend::Fault::Refuse << post;
        QTest::addRow("%s: never answers", method) << Address << DevBackend::Fault::Hang << post;
        QTest::addRow("%s: HTTP 500", method) << Address << DevBackend::Fault::Http500 << post;
        QTest::addRow("%s: huge reply", method) << Address << DevBackend::Fault::Huge << post;
        QTest::addRow("%s: connection reset", method)
            << Address << DevBackend::Fault::Reset << post;
        QTest::addRow("%s: reset in the body", method)
            << Address << DevBackend::Fault::ResetInBody << post;
    }
}

void TestQtHttpTransport::failures()
{
    QFETCH(QString, host);
    QFETCH(DevBackend::Fault, fault);
    QFETCH(bool, post);
    m_backend->setFault("*", fault);

    const platform::HttpResult result =
        post ? m_http.postForm(url("usercheck7193.php", host), {{"UserID", "alice"}})
             : m_http.get(url("netcheck7193.php", host));

    QVERIFY(!result.ok);
    QVERIFY(result.text.isEmpty());
    QVERIFY(!result.error.isEmpty());
}

void TestQtHttpTransport::getCutShortIsAFailure()
{
    // Whether the reset reaches Qt as an error or as a plain end of the reply depends on
    // how the last bytes and the reset share a read, so one exchange proves little.
    m_backend->setFault("*", DevBackend::Fault::ResetInBody);
    for (int attempt = 1; attempt <= 20; ++attempt) {
        const platform::HttpResult result = m_http.get(url("vpnlist7193.php"));
        QVERIFY2(!result.ok, qPrintable(QStringLiteral("attempt %1").arg(attempt)));
        QVERIFY(result.text.isEmpty());
    }
}

void TestQtHttpTransport::userInputIsDroppedWhileWaiting()
{
    QPushButton button;
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QSignalSpy clicks(&button, &QPushButton::clicked);
    m_backend->setFault("netcheck7193.php", DevBackend::Fault::Slow, 300);

    bool clickedDuringRequest = false;
    QTimer::singleShot(50, &button, [&] {
        QTest::mouseClick(&button, Qt::LeftButton);
        QTest::keyClick(&button, Qt::Key_Space);
        clickedDuringRequest = true;
    });
    const platform::HttpResult result = m_http.get(url("netcheck7193.php"));
    QCoreApplication::processEvents();

    QVERIFY(result.ok);
    QVERIFY(clickedDuringRequest);
    QCOMPARE(clicks.count(), 0);
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(clicks.count(), 1);
}

QTEST_MAIN(TestQtHttpTransport)
#include "tst_qthttptransport.moc"
