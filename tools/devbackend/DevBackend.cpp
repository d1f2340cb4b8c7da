#include "devbackend/DevBackend.h"

#include "devbackend/HttpConnection.h"
#include "devbackend/HttpRequest.h"

#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>

namespace devbackend {

namespace {

const QString EveryScript = QStringLiteral("*");

// Random bytes with NULs and an invalid GBK sequence mixed in for certain: a lead byte
// followed by 0x7f, placed after an ASCII letter so that no random byte can pair with it.
QByteArray garbage()
{
    QByteArray bytes(300, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
    bytes.replace(0, 1, QByteArray(1, '\0'));
    bytes.replace(100, 3, "A\x81\x7f");
    bytes.replace(200, 1, QByteArray(1, '\0'));
    return bytes;
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

    const FaultSetting setting = faultFor(logged.path);
    switch (setting.fault) {
    case Fault::Refuse:
        connection->abort();
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
    case Fault::Slow:
    case Fault::None:
        break;
    }
    const auto canned = m_cannedReplies.constFind(scriptOf(logged.path));
    const HttpReply reply =
        canned != m_cannedReplies.cend()
            ? HttpReply::text(*canned)
            : m_scripts.answer({logged, connection->peerAddress(), connection->localAddress()});
    if (setting.fault == Fault::Slow)
        QTimer::singleShot(setting.delayMs, connection,
                           [connection, reply] { connection->send(reply); });
    else
        connection->send(reply);
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
