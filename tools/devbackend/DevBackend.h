#pragma once

#include "devbackend/BackendData.h"
#include "devbackend/BackendScripts.h"
#include "devbackend/HttpReply.h"
#include "devbackend/LoggedRequest.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTcpServer>

#include <optional>

namespace devbackend {

class HttpConnection;
struct HttpRequest;

// A local stand-in for the service's back end: its scripts and pages over plain HTTP on a
// loopback address. Everything runs on the owner's thread through signals, so it also
// answers while that thread sits in a nested event loop.
class DevBackend : public QObject
{
    Q_OBJECT

public:
    enum class Fault {
        None,
        Refuse,  // read the request, then drop the connection without an answer
        Hang,    // read the request and never answer
        Slow,    // answer normally after a delay
        Http500, // status 500 with a short body
        Garbage, // status 200 with a few hundred bytes that are not valid GBK
        Huge,    // status 200 with a 64 MiB body
        // Read the request, then reset the connection (RST) without a byte of answer: what
        // a client sees of a node that refuses it.
        Reset,
        // Status 302 to the same path and query under MovedFolder on this back end, which
        // answers there as if asked directly, without faults.
        Redirect,
        Empty,       // status 200 with an empty body
        Large,       // status 200 with a 10 MB body
        ResetInBody, // the head and part of the body, then a reset (RST)
    };
    Q_ENUM(Fault)

    static constexpr qint64 HugeBodySize = 64 * 1024 * 1024;
    // Just over the largest reply the client accepts.
    static constexpr qint64 LargeBodySize = 10'000'000;
    // Announced length and bytes actually sent of a reply that ResetInBody cuts off.
    static constexpr qint64 CutBodySize = 64 * 1024;
    static constexpr qint64 CutBodySent = 16 * 1024;
    static inline const QString MovedFolder = QStringLiteral("/moved");

    explicit DevBackend(BackendData data, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port = 8000);
    // Stops listening and drops every open connection.
    void close();
    QString errorString() const { return m_server.errorString(); }
    QHostAddress serverAddress() const { return m_server.serverAddress(); }
    quint16 serverPort() const { return m_server.serverPort(); }

    // script is the last component of a path, such as "usercheck7193.php", or "*" for
    // every path; a fault set for a script wins over "*". Fault::None clears it.
    void setFault(const QString &script, Fault fault, int delayMs = 0);

    // Answers the script with exactly this text, whatever was asked, until cleared with
    // nullopt: for replies the back end's data cannot produce.
    void setCannedReply(const QString &script, const std::optional<QString> &text);

    QList<LoggedRequest> requests() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }

    void setVersion(const QString &version) { m_scripts.setVersion(version); }
    // An empty address reports the listening address.
    void setRouteAddress(const QString &address) { m_scripts.setRouteAddress(address); }
    void setLoggedInElsewhere(const QString &user, bool elsewhere = true)
    {
        m_scripts.setLoggedInElsewhere(user, elsewhere);
    }

signals:
    void requestLogged(const devbackend::LoggedRequest &request);

private:
    struct FaultSetting
    {
        Fault fault = Fault::None;
        int delayMs = 0;
    };

    void acceptConnections();
    void answer(HttpConnection *connection, const HttpRequest &request);
    // The back end's own answer, canned or from its scripts and pages.
    HttpReply replyFor(const LoggedRequest &request, const HttpConnection &connection);
    HttpReply redirectTo(const LoggedRequest &request, const HttpConnection &connection) const;
    FaultSetting faultFor(const QString &path) const;
    static QString scriptOf(const QString &path);

    QTcpServer m_server;
    BackendScripts m_scripts;
    QHash<QString, FaultSetting> m_faults;
    QHash<QString, QString> m_cannedReplies;
    QList<LoggedRequest> m_requests;
};

} // namespace devbackend
