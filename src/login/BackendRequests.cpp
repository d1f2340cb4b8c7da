#include "login/BackendRequests.h"

#include "app/ClientState.h"
#include "app/Services.h"

namespace login {

QUrl backendUrl(const QString &host, const QString &path)
{
    return QUrl(QStringLiteral("http://") + host + QStringLiteral(":8000") + path);
}

QUrl scriptUrl(const QString &host, const QString &script)
{
    return backendUrl(host, QStringLiteral("/sysadmin/useradmin/") + script);
}

QString serverListUrl(const QString &host)
{
    return scriptUrl(host, QStringLiteral("vpnlist7193.php")).toString() +
           QStringLiteral("?viewstr=e7d2f9a0c3b");
}

std::optional<QString> postForm(const QString &host, const QString &script,
                                const platform::FormFields &fields)
{
    const platform::HttpResult result =
        app::services().http->postForm(scriptUrl(host, script), fields);
    if (!result.ok)
        return std::nullopt;
    return result.text;
}

std::optional<QString> postWithFailover(const QString &script, const platform::FormFields &fields)
{
    app::ClientState &state = app::client();
    if (std::optional<QString> reply = postForm(state.MasterHost, script, fields))
        return reply;
    std::optional<QString> reply = postForm(state.BackupHost, script, fields);
    if (reply)
        state.MasterHost = state.BackupHost;
    return reply;
}

} // namespace login
