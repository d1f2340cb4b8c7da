#include "platform/http/FormPost.h"

#include "platform/http/InputBlocker.h"

#include <QEventLoop>
#include <QNetworkProxy>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>

namespace platform {

namespace {

QByteArray requestHead(const QUrl &url, qsizetype bodySize, const QByteArray &userAgent,
                       const QByteArray &accept)
{
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (url.port(80) != 80)
        host += ':' + QByteArray::number(url.port());
    return "POST " + target + " HTTP/1.0\r\nHost: " + host +
           "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
           QByteArray::number(bodySize) + "\r\nAccept: " + accept + "\r\nUser-Agent: " + userAgent +
           "\r\nConnection: close\r\n\r\n";
}

// Decodes a chunked body; false when it is cut short or malformed.
bool unchunk(const QByteArray &chunked, QByteArray &body)
{
    qsizetype at = 0;
    for (;;) {
        const qsizetype lineEnd = chunked.indexOf("\r\n", at);
        if (lineEnd < 0)
            return false;
        bool ok = false;
        const qlonglong size =
            chunked.mid(at, lineEnd - at).split(';').first().trimmed().toLongLong(&ok, 16);
        if (!ok || size < 0 || size > chunked.size())
            return false;
        if (size == 0)
            return true;
        at = lineEnd + 2;
        if (at + size > chunked.size())
            return false;
        body += chunked.mid(at, size);
        at += size + 2;
    }
}

} // namespace

bool parseHttpReply(const QByteArray &raw, FormPostReply &reply)
{
    static const QRegularExpression statusLine(QStringLiteral("^HTTP/1\\.[01] ([0-9]{3})[ \\r]"));
    const qsizetype headEnd = raw.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return false;
    const QList<QByteArray> lines = raw.left(headEnd).split('\n');
    const QRegularExpressionMatch status =
        statusLine.match(QString::fromLatin1(lines.first() + ' '));
    if (!status.hasMatch())
        return false;
    reply.status = status.captured(1).toInt();

    qlonglong contentLength = -1;
    bool chunked = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length")
            contentLength = value.toLongLong();
        else if (name == "transfer-encoding")
            chunked = value.toLower().contains("chunked");
    }

    const QByteArray rest = raw.mid(headEnd + 4);
    if (chunked)
        return unchunk(rest, reply.body);
    if (contentLength >= 0) {
        if (rest.size() < contentLength)
            return false;
        reply.body = rest.left(contentLength);
        return true;
    }
    reply.body = rest;
    return true;
}

FormPostReply postFormOnce(const QUrl &url, const QByteArray &body, const QByteArray &userAgent,
                           const QByteArray &accept, int connectMs, int readMs, qint64 maxBytes)
{
    FormPostReply reply;
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    QEventLoop loop;
    QTimer connectTimer;
    QTimer readTimer;
    connectTimer.setSingleShot(true);
    readTimer.setSingleShot(true);
    QByteArray raw;
    QString failure;
    const auto fail = [&](const QString &why) {
        if (failure.isEmpty())
            failure = why;
        socket.abort();
        loop.quit();
    };

    QObject::connect(&connectTimer, &QTimer::timeout, &loop,
                     [&] { fail(QStringLiteral("connect time-out")); });
    QObject::connect(&readTimer, &QTimer::timeout, &loop,
                     [&] { fail(QStringLiteral("read time-out")); });
    QObject::connect(&socket, &QTcpSocket::connected, &loop, [&] {
        connectTimer.stop();
        readTimer.start(readMs);
        socket.write(requestHead(url, body.size(), userAgent, accept) + body);
    });
    QObject::connect(&socket, &QTcpSocket::readyRead, &loop, [&] {
        readTimer.start(readMs);
        raw += socket.readAll();
        if (raw.size() > maxBytes)
            fail(QStringLiteral("reply larger than %1 bytes").arg(maxBytes));
    });
    QObject::connect(&socket, &QTcpSocket::disconnected, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QTcpSocket::errorOccurred, &loop,
                     [&](QAbstractSocket::SocketError error) {
                         if (error != QAbstractSocket::RemoteHostClosedError)
                             fail(socket.errorString());
                     });

    connectTimer.start(connectMs);
    socket.connectToHost(url.host(), quint16(url.port(80)));
    {
        InputBlocker blocker;
        loop.exec();
    }
    connectTimer.stop();
    readTimer.stop();

    if (!failure.isEmpty()) {
        reply.error = failure;
    } else if (raw.isEmpty()) {
        reply.error = QStringLiteral("connection closed without a reply");
    } else if (!parseHttpReply(raw, reply)) {
        reply.error = QStringLiteral("malformed or truncated HTTP reply");
    } else if (reply.status < 200 || reply.status > 299) {
        reply.error = QStringLiteral("HTTP status %1").arg(reply.status);
    } else {
        reply.ok = true;
        return reply;
    }
    reply.body.clear();
    return reply;
}

} // namespace platform
