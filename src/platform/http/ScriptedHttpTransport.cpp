#include "platform/http/ScriptedHttpTransport.h"

namespace platform {

HttpResult ScriptedHttpTransport::get(const QUrl &url)
{
    m_requests.append({Method::Get, url, {}});
    return answer(url);
}

HttpResult ScriptedHttpTransport::postForm(const QUrl &url, const FormFields &fields)
{
    m_requests.append({Method::Post, url, fields});
    return answer(url);
}

void ScriptedHttpTransport::queueResult(const QString &path, const HttpResult &result)
{
    m_results[path].enqueue(result);
}

void ScriptedHttpTransport::queueReply(const QString &path, const QString &text)
{
    queueResult(path, {true, 200, text, {}});
}

void ScriptedHttpTransport::queueFailure(const QString &path)
{
    queueResult(path, {false, 0, {}, QStringLiteral("connection refused")});
}

void ScriptedHttpTransport::clear()
{
    m_requests.clear();
    m_results.clear();
}

HttpResult ScriptedHttpTransport::answer(const QUrl &url)
{
    const auto queued = m_results.find(url.path());
    if (queued == m_results.end() || queued->isEmpty())
        return {false, 0, {}, QStringLiteral("no reply scripted for %1").arg(url.path())};
    return queued->dequeue();
}

} // namespace platform
