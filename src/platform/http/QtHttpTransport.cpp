#include "platform/http/QtHttpTransport.h"

#include "platform/http/FormPost.h"
#include "platform/http/InputBlocker.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTimer>

namespace platform {

namespace {

const QByteArray GetUserAgent = "iisuser_class";
const QByteArray PostUserAgent = "Mozilla/3.0 (compatible; Indy Library)";
const QByteArray PostAccept = "text/html, */*";

// A connection reset in the middle of the body can end a reply without an error, holding
// only part of it. Where the body travelled as announced, without a content coding, its
// length tells.
bool cutShort(const QNetworkReply &reply, const QByteArray &body)
{
    bool announced = false;
    const qint64 length = reply.rawHeader("Content-Length").trimmed().toLongLong(&announced);
    const QByteArray coding = reply.rawHeader("Content-Encoding").trimmed().toLower();
    return announced && (coding.isEmpty() || coding == "identity") && body.size() < length;
}

// Runs one request to its end; the reply belongs to the caller's manager. The connect timer runs
// until the request has been written to a connected socket; from then on the read timer restarts
// with every chunk received, so a slow but steady reply is not cut off.
HttpResult runRequest(QNetworkReply *reply, int connectMs, int readMs, const QString &codePage)
{
    HttpResult result;
    QEventLoop loop;
    QTimer connectTimer;
    QTimer readTimer;
    connectTimer.setSingleShot(true);
    readTimer.setSingleShot(true);
    QString timeoutReason;
    QByteArray body;
    bool tooLarge = false;

    QObject::connect(&connectTimer, &QTimer::timeout, reply, [&] {
        timeoutReason = QStringLiteral("connect time-out");
        reply->abort();
    });
    QObject::connect(&readTimer, &QTimer::timeout, reply, [&] {
        timeoutReason = QStringLiteral("read time-out");
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::requestSent, reply, [&] {
        connectTimer.stop();
        readTimer.start(readMs);
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
        readTimer.start(readMs);
        body += reply->readAll();
        if (body.size() > QtHttpTransport::MaxReplyBytes) {
            tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);

    connectTimer.start(connectMs);
    if (!reply->isFinished()) {
        InputBlocker blocker;
        loop.exec();
    }
    connectTimer.stop();
    readTimer.stop();

    if (reply->isOpen())
        body += reply->readAll();
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (tooLarge) {
        result.error =
            QStringLiteral("reply larger than %1 bytes").arg(QtHttpTransport::MaxReplyBytes);
    } else if (!timeoutReason.isEmpty()) {
        result.error = timeoutReason;
    } else if (reply->error() != QNetworkReply::NoError) {
        result.error = reply->errorString();
    } else if (result.status < 200 || result.status > 299) {
        result.error = QStringLiteral("HTTP status %1").arg(result.status);
    } else if (cutShort(*reply, body)) {
        result.error = QStringLiteral("reply cut short");
    } else {
        result.ok = true;
        result.text = QtHttpTransport::decode(body, codePage);
    }
    return result;
}

QNetworkRequest makeRequest(const QUrl &url, const QByteArray &userAgent)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
    return request;
}

} // namespace

QtHttpTransport::QtHttpTransport(const QString &codePage) : QtHttpTransport(codePage, Timeouts{}) {}

QtHttpTransport::QtHttpTransport(const QString &codePage, Timeouts timeouts)
    : m_codePage(codePage), m_timeouts(timeouts)
{}

HttpResult QtHttpTransport::get(const QUrl &url)
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request = makeRequest(url, GetUserAgent);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    return runRequest(manager.get(request), m_timeouts.connectMs, m_timeouts.getReadMs, m_codePage);
}

HttpResult QtHttpTransport::postForm(const QUrl &url, const FormFields &fields)
{
    const FormPostReply reply =
        postFormOnce(url, encodeForm(fields, m_codePage), PostUserAgent, PostAccept,
                     m_timeouts.connectMs, m_timeouts.postReadMs, MaxReplyBytes);
    HttpResult result;
    result.ok = reply.ok;
    result.status = reply.status;
    result.error = reply.error;
    if (reply.ok)
        result.text = decode(reply.body, m_codePage);
    return result;
}

QByteArray QtHttpTransport::encodeForm(const FormFields &fields, const QString &codePage)
{
    QStringEncoder encoder(codePage.toLatin1().constData());
    const auto encode = [&encoder](const QString &text) {
        const QByteArray bytes = encoder.encode(text);
        // Blanks become "+" as browsers send them; "+", "&", "=" and "%" are escaped so a
        // value can never split into another field.
        return bytes.toPercentEncoding(" ").replace(' ', '+');
    };
    QByteArray body;
    for (const FormField &field : fields) {
        if (!body.isEmpty())
            body += '&';
        body += encode(field.first) + '=' + encode(field.second);
    }
    return body;
}

QString QtHttpTransport::decode(const QByteArray &body, const QString &codePage)
{
    // The decoder silently drops a double-byte character cut off at the end of the input;
    // a line feed, which is never a trail byte, makes it show as a replacement character
    // so a truncated reply can never compare equal to a complete word.
    QStringDecoder decoder(codePage.toLatin1().constData(), QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(body + '\n');
    text.chop(1);
    return text;
}

} // namespace platform
