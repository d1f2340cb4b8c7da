#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>

namespace connection {

// One service as the listing reports it.
struct tSvrlist
{
    QString svrname;
    QString displayname;
    QString publisher;
    QString svrpath;
    bool ismicrosoft = false;
    QString svrtype; // "auto", "manual", "disable" or empty
    QString status;  // "stopped", "start pending", ... "paused"
};

// One connection to the machine's service manager and one open service, with the
// operations the client may ask of them. Nothing raises: operations on a service that
// could not be opened fail quietly.
class TServiceManager
{
public:
    // machine and database are accepted for the caller's sake; only the local manager
    // exists here, always with full access.
    bool Connect(const QString &machine = {}, const QString &database = {}, quint32 access = 0);
    bool OpenServiceConnection(const QString &service);
    bool StartService();
    bool StartService(const QStringList &arguments);
    bool StopService();
    void PauseService();
    void ContinueService();
    void ShutdownService();
    quint32 GetStatus();
    bool ServiceRunning();
    bool ServiceStopped();
    void DisableService(const QString &service);
    void ManualService(const QString &service);
    void EnableService(const QString &service);
    // Appends every service to the list; false when not connected.
    bool GetSvcList();

    const QList<tSvrlist> &f_svrlist() const { return m_svrlist; }

private:
    bool m_connected = false;
    std::optional<std::u16string> m_service;
    QList<tSvrlist> m_svrlist;
};

} // namespace connection
