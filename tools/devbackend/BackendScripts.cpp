#include "devbackend/BackendScripts.h"

#include "devbackend/SitePages.h"

#include <QMap>

namespace devbackend {

namespace {

const QString ScriptFolder = QStringLiteral("/sysadmin/useradmin/");

struct Script
{
    QString method;
    QString (BackendScripts::*handler)(const BackendScripts::Call &);
};

QByteArray doubleBase64(const QString &text)
{
    return gbk::encode(text).toBase64().toBase64();
}

} // namespace

BackendScripts::BackendScripts(BackendData data) : m_data(std::move(data))
{
    for (auto account = m_data.accounts.cbegin(); account != m_data.accounts.cend(); ++account) {
        if (account->loggedInElsewhere)
            m_loggedInElsewhere.insert(account.key());
    }
}

HttpReply BackendScripts::answer(const Call &call)
{
    static const QMap<QString, Script> scripts = {
        {QStringLiteral("netcheck7193.php"), {QStringLiteral("GET"), &BackendScripts::netcheck}},
        {QStringLiteral("vpnlist7193.php"), {QStringLiteral("GET"), &BackendScripts::vpnlist}},
        {QStringLiteral("usercheck7193.php"), {QStringLiteral("POST"), &BackendScripts::usercheck}},
        {QStringLiteral("ipcheck7193.php"), {QStringLiteral("POST"), &BackendScripts::ipcheck}},
        {QStringLiteral("statuscheck7193.php"),
         {QStringLiteral("POST"), &BackendScripts::statuscheck}},
        {QStringLiteral("user_self_new_save7193.php"),
         {QStringLiteral("POST"), &BackendScripts::registerAccount}},
        {QStringLiteral("reckon_new_save7193.php"),
         {QStringLiteral("POST"), &BackendScripts::recharge}},
        {QStringLiteral("mypass_save7193.php"),
         {QStringLiteral("POST"), &BackendScripts::changePassword}},
    };
    const QString &path = call.request.path;
    if (path.startsWith(ScriptFolder)) {
        const auto script = scripts.constFind(path.mid(ScriptFolder.size()));
        if (script != scripts.constEnd()) {
            if (call.request.method != script->method)
                return HttpReply::text(QStringLiteral("Method Not Allowed"), 405);
            return HttpReply::text((this->*script->handler)(call));
        }
    }
    if (const std::optional<QString> page = sitepages::find(path)) {
        if (call.request.method != QLatin1String("GET"))
            return HttpReply::text(QStringLiteral("Method Not Allowed"), 405);
        return HttpReply::html(*page);
    }
    return HttpReply::text(QStringLiteral("Not Found"), 404);
}

void BackendScripts::setLoggedInElsewhere(const QString &user, bool elsewhere)
{
    if (elsewhere)
        m_loggedInElsewhere.insert(user);
    else
        m_loggedInElsewhere.remove(user);
}

QString BackendScripts::netcheck(const Call &call)
{
    const QString route =
        m_data.routeAddress.isEmpty() ? call.local.toString() : m_data.routeAddress;
    return call.peer.toString() + QLatin1Char('-') + m_data.version + QLatin1Char('-') + route;
}

QString BackendScripts::usercheck(const Call &call)
{
    const Account *account = authenticate(call.request);
    if (!account)
        return QStringLiteral("error");
    switch (account->state) {
    case AccountState::Expired:
        return QStringLiteral("expire");
    case AccountState::UsedUp:
        return QStringLiteral("useup");
    case AccountState::Valid:
        break;
    }
    return account->text();
}

QString BackendScripts::vpnlist(const Call &call)
{
    for (const FormField &parameter : gbk::decodeForm(call.request.query.toLatin1())) {
        if (parameter.first == QLatin1String("viewstr"))
            return parameter.second == QLatin1String(ViewToken) ? m_data.catalogue : QString();
    }
    return {};
}

QString BackendScripts::ipcheck(const Call &call)
{
    const LoggedRequest &request = call.request;
    const Account *account = authenticate(request.field(QStringLiteral("username")),
                                          request.field(QStringLiteral("Upassword")));
    if (!account || account->state != AccountState::Valid)
        return {};
    const auto line = m_data.lines.constFind(request.field(QStringLiteral("serverip")));
    if (line == m_data.lines.constEnd())
        return {};
    if (line->direct)
        return QLatin1String(DirectLine);
    return QString::fromLatin1(doubleBase64(line->dialUser) + CredentialSeparator +
                               doubleBase64(line->dialPassword));
}

QString BackendScripts::statuscheck(const Call &call)
{
    const QString user = call.request.field(QStringLiteral("username"));
    const QString id = call.request.field(QStringLiteral("uniqueid"));
    UserConnections &connections = m_connections[user];
    if (!connections.known.contains(id)) {
        connections.known.insert(id);
        connections.newest = id;
    }
    if (m_loggedInElsewhere.contains(user) || connections.newest != id)
        return QLatin1String(LoggedInElsewhere);
    return QStringLiteral("ok");
}

QString BackendScripts::registerAccount(const Call &call)
{
    if (!m_data.registrationOpen)
        return QStringLiteral("1");
    const QString user = call.request.field(QStringLiteral("UserID"));
    if (m_data.accounts.contains(user))
        return QStringLiteral("2");
    Account account;
    account.password = call.request.field(QStringLiteral("Upassword"));
    account.days = 1;
    m_data.accounts.insert(user, account);
    return QStringLiteral("ok");
}

QString BackendScripts::recharge(const Call &call)
{
    Account *account = authenticate(call.request);
    if (!account)
        return QStringLiteral("1");
    const auto card = m_data.cards.find(call.request.field(QStringLiteral("mycardid")));
    if (card == m_data.cards.end() ||
        card->password != call.request.field(QStringLiteral("mycardpass")) || card->used)
        return QStringLiteral("2");
    if (card->expired)
        return QStringLiteral("3");
    card->used = true;
    if (account->state != AccountState::Valid) {
        account->state = AccountState::Valid;
        account->days = 0;
    }
    account->days += card->days;
    return QStringLiteral("ok");
}

QString BackendScripts::changePassword(const Call &call)
{
    Account *account = authenticate(call.request);
    if (!account)
        return QStringLiteral("1");
    account->password = call.request.field(QStringLiteral("Upassword1"));
    return QStringLiteral("ok");
}

Account *BackendScripts::authenticate(const QString &user, const QString &password)
{
    const auto account = m_data.accounts.find(user);
    if (account == m_data.accounts.end() || account->password != password)
        return nullptr;
    return &*account;
}

Account *BackendScripts::authenticate(const LoggedRequest &request)
{
    return authenticate(request.field(QStringLiteral("UserID")),
                        request.field(QStringLiteral("Upassword")));
}

} // namespace devbackend
