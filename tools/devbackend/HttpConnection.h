#pragma once

#include "devbackend/HttpReply.h"
#include "devbackend/HttpRequest.h"

#include <QHostAddress>
#include <QObject>

class QTcpSocket;

namespace devbackend {

// One accepted connection: reads a single request, then waits to be told how to answer.
// It deletes itself once the connection is gone.
class HttpConnection : public QObject
{
    Q_OBJECT

public:
    HttpConnection(QTcpSocket *socket, QObject *parent);

    QHostAddress peerAddress() const;
    QHostAddress localAddress() const;

    // Writes the reply and closes the connection once it is out.
    void send(const HttpReply &reply);
    // Sends a status 200 reply of bodySize filler bytes, written as the peer takes them so
    // that no more than a few chunks are ever held.
    void sendFiller(qint64 bodySize);
    // Sends a status 200 head announcing bodySize bytes and sentBytes of them, then resets
    // the connection once the peer has received what was sent.
    void sendFillerThenReset(qint64 bodySize, qint64 sentBytes);
    // Drops the connection without an answer.
    void abort();
    // Drops the connection with a reset (RST) instead of an orderly close.
    void reset();

signals:
    void requestReceived(const devbackend::HttpRequest &request);

private:
    void readRequest();
    void refuse(const HttpReply &reply);
    void writeFiller();
    void resetOnceDelivered();

    QTcpSocket *m_socket;
    HttpRequestReader m_reader;
    bool m_requestRead = false;
    qint64 m_fillerLeft = 0;
};

} // namespace devbackend
