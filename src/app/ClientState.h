#pragma once

#include <QDateTime>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

namespace catalogue {
class ServerListDocument;
}

namespace app {

// The process-wide values the login fills and the rest of the client reads. One
// instance, read and written on the GUI thread only.
struct ClientState
{
    bool LoggedIn = false;
    QString LoginUser;     // exactly as typed, not trimmed
    QString LoginPassword; // exactly as typed
    QString MasterHost;
    QString BackupHost;
    std::array<QString, 5> NetCheckParts;
    QString PeerAddress;
    QString ServerVersion;
    QString MasterRouteAddress;
    QString AccountSummary;
    qint32 RedialMode = 0; // 2 when redial after a drop was chosen at login
    qint32 ExpiryWarningCount = 0;
    qint32 VersionHintCount = 0;
    std::shared_ptr<const catalogue::ServerListDocument> ServerList;

    // Owned by the connection code, kept here with the rest.
    QString CurrentServerAddress;
    QString CurrentEntryName;
    QString ConnectUniqueId;
    QDateTime ConnectStartTime;
    std::uintptr_t RasConnHandle = 0; // 0: no connection
    bool VpnConnected = false;
    bool DirectAccountLine = true;
    // Owned by the route code: a host route to the master node was asked for.
    bool MasterRouteAdded = false;
};

ClientState &client();

// Written on the GUI thread, also read by the latency workers.
std::atomic<bool> &BatchTestRunning();

// Folder of the program file with a trailing separator; set once at start.
QString &ProgramFolder();

} // namespace app
