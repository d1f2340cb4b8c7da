#include "devbackend/HttpConnection.h"

#include <QTcpSocket>
#include <QTimer>

#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace devbackend {

namespace {

constexpr qint64 FillerChunkSize = 64 * 1024;
constexpr qint64 FillerChunksQueued = 4;
constexpr int RefusalLingerMs = 1000;
constexpr int DeliveryPollMs = 5;
constexpr int DeliveryPollsAtMost = 400;

const QByteArray &fillerChunk()
{
    static const QByteArray chunk = [] {
        const QByteArray line = "0123456789 filler from the local back end abcdefghijklmnop\r\n";
        QByteArray bytes = line.repeated(FillerChunkSize / line.size() + 1);
        bytes.truncate(FillerChunkSize);
        return bytes;
    }();
    return chunk;
}

} // namespace

HttpConnection::HttpConnection(QTcpSocket *socket, QObject *parent)
    : QObject(parent), m_socket(socket)
{
    m_socket->setParent(this);
    connect(m_socket, &QTcpSocket::readyRead, this, &HttpConnection::readRequest);
    connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
}

QHostAddress HttpConnection::peerAddress() const
{
    return m_socket->peerAddress();
}

QHostAddress HttpConnection::localAddress() const
{
    return m_socket->localAddress();
}

void HttpConnection::send(const HttpReply &reply)
{
    // A delayed answer may find the peer gone already.
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    m_socket->write(reply.toBytes());
    m_socket->disconnectFromHost();
}

void HttpConnection::sendFiller(qint64 bodySize)
{
    HttpReply reply;
    m_socket->write(reply.head(bodySize));
    m_fillerLeft = bodySize;
    connect(m_socket, &QTcpSocket::bytesWritten, this, &HttpConnection::writeFiller);
    writeFiller();
}

void HttpConnection::sendFillerThenReset(qint64 bodySize, qint64 sentBytes)
{
    HttpReply reply;
    m_socket->write(reply.head(bodySize) + fillerChunk().left(sentBytes));
    resetOnceDelivered();
}

void HttpConnection::abort()
{
    m_socket->abort();
    deleteLater();
}

void HttpConnection::reset()
{
    // A zero linger time makes the close discard what is unsent and answer with a reset.
    const linger immediately{1, 0};
    setsockopt(static_cast<int>(m_socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &immediately,
               sizeof immediately);
    abort();
}

void HttpConnection::resetOnceDelivered()
{
    // A reset throws away whatever the kernel still holds for the peer, so wait until the
    // peer has acknowledged every byte; a peer that stops reading is reset all the same.
    auto *poll = new QTimer(this);
    poll->setInterval(DeliveryPollMs);
    connect(poll, &QTimer::timeout, this, [this, poll, polls = 0]() mutable {
        int unacknowledged = 0;
        const bool queued =
            m_socket->bytesToWrite() > 0 || (ioctl(static_cast<int>(m_socket->socketDescriptor()),
                                                   SIOCOUTQ, &unacknowledged) == 0 &&
                                             unacknowledged > 0);
        if (queued && ++polls < DeliveryPollsAtMost)
            return;
        poll->stop();
        reset();
    });
    poll->start();
}

void HttpConnection::readRequest()
{
    const QByteArray bytes = m_socket->readAll();
    if (m_requestRead || bytes.isEmpty())
        return;
    switch (m_reader.feed(bytes)) {
    case HttpRequestReader::Result::NeedMore:
        return;
    case HttpRequestReader::Result::Complete:
        m_requestRead = true;
        emit requestReceived(m_reader.request());
        return;
    case HttpRequestReader::Result::Malformed:
        refuse(HttpReply::text(QStringLiteral("Bad Request"), 400));
        return;
    case HttpRequestReader::Result::TooLarge:
        refuse(HttpReply::text(QStringLiteral("Payload Too Large"), 413));
        return;
    case HttpRequestReader::Result::Unsupported:
        refuse(HttpReply::text(QStringLiteral("Not Implemented"), 501));
        return;
    }
}

void HttpConnection::refuse(const HttpReply &reply)
{
    // The peer may still be sending. Closing now with its bytes unread would reset the
    // connection and could destroy the answer in flight, so keep reading (and dropping)
    // for a while and let the peer close first.
    m_requestRead = true;
    m_socket->write(reply.toBytes());
    QTimer::singleShot(RefusalLingerMs, m_socket, &QTcpSocket::disconnectFromHost);
}

void HttpConnection::writeFiller()
{
    while (m_fillerLeft > 0 && m_socket->bytesToWrite() < FillerChunksQueued * FillerChunkSize) {
        const qint64 size = qMin(m_fillerLeft, FillerChunkSize);
        m_socket->write(fillerChunk().left(size));
        m_fillerLeft -= size;
    }
    if (m_fillerLeft == 0) {
        disconnect(m_socket, &QTcpSocket::bytesWritten, this, &HttpConnection::writeFiller);
        m_socket->disconnectFromHost();
    }
}

} // namespace devbackend
