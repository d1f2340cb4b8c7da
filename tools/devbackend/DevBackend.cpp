#include "devbackend/DevBackend.h"

#include "devbackend/HttpConnection.h"
#include "devbackend/HttpRequest.h"

#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace devbackend {

namespace {

const QString EveryScript = QStringLiteral("*");

// Bytes no GBK decoder accepts, NULs among them: 0xff is never a lead byte, and 0x7f is
// never a trail byte, so 0x81 0x7f is a lead byte without its pair. The same bytes every
// time, so that what the client makes of them can be asserted.
QByteArray garbage()
{
    return QByteArray("\x81\x7f\xff\0x", 5).repeated(60);
}

} // namespace

DevBackend::DevBackend(BackendData data, QObject *parent)
    : QObject(parent), m_scripts(std::move(data))
{
    connect(&m_server, &QTcpServer::newConnection, this, &DevBackend::acceptConnections);
}

bool DevBackend::listen(const QHostAddress &address, quint16 port)
{
    return m_server.listen(address, port);
}

void DevBackend::close()
{
    m_server.close();
    const QList<HttpConnection *> connections =
        findChildren<HttpConnection *>(QString(), Qt::FindDirectChildrenOnly);
    for (HttpConnection *connection : connections)
        connection->abort();
}

void DevBackend::setFault(const QString &script, Fault fault, int delayMs)
{
    if (fault == Fault::None)
        m_faults.remove(script);
    else
        m_faults.insert(script, FaultSetting{fault, delayMs});
}

void DevBackend::acceptConnections()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        auto *connection = new HttpConnection(socket, this);
        connect(connection, &HttpConnection::requestReceived, this,
                [this, connection](const HttpRequest &request) { answer(connection, request); });
    }
}

void DevBackend::answer(HttpConnection *connection, const HttpRequest &request)
{
    const LoggedRequest logged = LoggedRequest::from(request);
    m_requests.append(logged);
    emit requestLogged(logged);

    if (logged.path.startsWith(MovedFolder + QLatin1Char('/'))) {
        LoggedRequest original = logged;
        original.path = logged.path.mid(MovedFolder.size());
        connection->send(replyFor(original, *connection));
        return;
    }
    const FaultSetting setting = faultFor(logged.path);
    switch (setting.fault) {
    case Fault::Refuse:
        connection->abort();
        return;
    case Fault::Reset:
        connection->reset();
        return;
    case Fault::Hang:
        return;
    case Fault::Http500:
        connection->send(HttpReply::text(QStringLiteral("Internal Server Error"), 500));
        return;
    case Fault::Garbage: {
        HttpReply reply;
        reply.body = garbage();
        connection->send(reply);
        return;
    }
    case Fault::Huge:
        connection->sendFiller(HugeBodySize);
        return;
    case Fault::Large:
        connection->sendFiller(LargeBodySize);
        return;
    case Fault::Redirect:
        connection->send(redirectTo(logged, *connection));
        return;
    case Fault::Empty:
        connection->send(HttpReply{});
        return;
    case Fault::ResetInBody:
        connection->sendFillerThenReset(CutBodySize, CutBodySent);
        return;
    case Fault::Slow:
    case Fault::None:
        break;
    }
    const HttpReply reply = replyFor(logged, *connection);
    if (setting.fault == Fault::Slow)
        QTimer::singleShot(setting.delayMs, connection,
                           [connection, reply] { connection->send(reply); });
    else
        connection->send(reply);
}

HttpReply DevBackend::replyFor(const LoggedRequest &request, const HttpConnection &connection)
{
    const auto canned = m_cannedReplies.constFind(scriptOf(request.path));
    if (canned != m_cannedReplies.cend())
        return HttpReply::text(*canned);
    return m_scripts.answer({request, connection.peerAddress(), connection.localAddress()});
}

HttpReply DevBackend::redirectTo(const LoggedRequest &request,
                                 const HttpConnection &connection) const
{
    HttpReply reply;
    reply.status = 302;
    reply.location = "http://" + connection.localAddress().toString().toLatin1() + ':' +
                     QByteArray::number(m_server.serverPort()) +
                     QUrl::toPercentEncoding(MovedFolder + request.path, "/");
    if (!request.query.isEmpty())
        reply.location += '?' + request.query.toLatin1();
    return reply;
}

QString DevBackend::scriptOf(const QString &path)
{
    QString script = path;
    while (script.endsWith(QLatin1Char('/')))
        script.chop(1);
    return script.mid(script.lastIndexOf(QLatin1Char('/')) + 1);
}

DevBackend::FaultSetting DevBackend::faultFor(const QString &path) const
{
    return m_faults.value(scriptOf(path), m_faults.value(EveryScript));
}

void DevBackend::setCannedReply(const QString &script, const std::optional<QString> &text)
{
    if (text)
        m_cannedReplies.insert(script, *text);
    else
        m_cannedReplies.remove(script);
}

} // namespace devbackend
