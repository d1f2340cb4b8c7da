#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace platform {

struct FormPostReply
{
    bool ok = false;
    int status = 0;
    QByteArray body;
    QString error;
};

// One form POST over a plain socket, sent exactly once. Qt's own HTTP stack quietly
// resends a request whose connection closes before the reply; a form that registers an
// account or spends a prepaid card must never reach the back end twice. The request is
// HTTP/1.0 with "Connection: close", so the reply ends when the server closes.
FormPostReply postFormOnce(const QUrl &url, const QByteArray &body, const QByteArray &userAgent,
                           const QByteArray &accept, int connectMs, int readMs, qint64 maxBytes);

// Splits a raw HTTP/1.x reply into status and body; false when it is not one.
bool parseHttpReply(const QByteArray &raw, FormPostReply &reply);

} // namespace platform
