#pragma once

#include "platform/http/HttpTransport.h"

#include <QHash>
#include <QList>
#include <QQueue>

namespace platform {

// Records every request instead of sending it and answers from queues the test fills, one
// queue per URL path, whatever the host. A request with nothing queued for its path fails
// as an unreachable back end would, so a forgotten reply never hangs and shows up as a
// recorded request.
class ScriptedHttpTransport : public HttpTransport
{
public:
    enum class Method { Get, Post };

    struct Request
    {
        Method method;
        QUrl url;
        FormFields fields; // empty for a GET
    };

    HttpResult get(const QUrl &url) override;
    HttpResult postForm(const QUrl &url, const FormFields &fields) override;

    void queueResult(const QString &path, const HttpResult &result);
    // A 200 reply whose body decodes to text.
    void queueReply(const QString &path, const QString &text);
    // A request that ends without a reply.
    void queueFailure(const QString &path);

    const QList<Request> &requests() const { return m_requests; }
    void clear();

private:
    HttpResult answer(const QUrl &url);

    QList<Request> m_requests;
    QHash<QString, QQueue<HttpResult>> m_results;
};

} // namespace platform
