#pragma once

#include "devbackend/BackendData.h"
#include "devbackend/HttpReply.h"
#include "devbackend/LoggedRequest.h"

#include <QHash>
#include <QHostAddress>
#include <QSet>

namespace devbackend {

// What the back end's scripts and pages answer, and the account state they change.
class BackendScripts
{
public:
    // The magic replies the client recognises.
    static constexpr char ViewToken[] = "e7d2f9a0c3b";
    static constexpr char LoggedInElsewhere[] = "9f1e7c3a5b0d8e2f4a6c1b3d5e7f9a0c";
    static constexpr char DirectLine[] = "3b8e1d7f0a2c9e4b6d1f8a3c5e0b7d2a";
    static constexpr char CredentialSeparator[] = "7e2c9b4f1d8a3e6c0b5f2d9a4c7e1b8f";

    // A request together with the addresses of its connection.
    struct Call
    {
        const LoggedRequest &request;
        QHostAddress peer;  // the client, as the server sees it
        QHostAddress local; // the address the server listens on
    };

    explicit BackendScripts(BackendData data);

    HttpReply answer(const Call &call);

    void setVersion(const QString &version) { m_data.version = version; }
    void setRouteAddress(const QString &address) { m_data.routeAddress = address; }
    void setLoggedInElsewhere(const QString &user, bool elsewhere);

private:
    QString netcheck(const Call &call);
    QString usercheck(const Call &call);
    QString vpnlist(const Call &call);
    QString ipcheck(const Call &call);
    QString statuscheck(const Call &call);
    QString registerAccount(const Call &call);
    QString recharge(const Call &call);
    QString changePassword(const Call &call);

    // The account when the user exists and the password is right.
    Account *authenticate(const QString &user, const QString &password);
    Account *authenticate(const LoggedRequest &request);

    struct UserConnections
    {
        QString newest; // unique id of the connection that started last
        QSet<QString> known;
    };

    BackendData m_data;
    QSet<QString> m_loggedInElsewhere;
    QHash<QString, UserConnections> m_connections;
};

} // namespace devbackend
