#pragma once

#include <QByteArray>
#include <QString>

namespace devbackend {

// One complete answer; every answer closes its connection.
struct HttpReply
{
    int status = 200;
    QByteArray contentType = "text/plain; charset=GBK";
    QByteArray body;
    QByteArray location; // sent as the Location header when not empty

    // Plain text in GBK, exactly as given: the client compares whole bodies.
    static HttpReply text(const QString &text, int status = 200);
    static HttpReply html(const QString &html);

    // Status line and headers for a body of bodyLength bytes.
    QByteArray head(qint64 bodyLength) const;
    QByteArray toBytes() const { return head(body.size()) + body; }
};

} // namespace devbackend
