#include "support/TestEnvironment.h"

#include "app/ClientState.h"

#include <QTest>

namespace testsupport {

TestEnvironment::TestEnvironment(const QString &master1, const QString &master2)
    : m_saved(app::services())
{
    app::Services &services = app::services();
    services.config = app::Configuration{};
    services.config.master1 = master1;
    services.config.master2 = master2;
    services.config.pageHost = master1;
    services.config.website = master1 + QStringLiteral(":8000");
    services.settings = &settings;
    services.http = &http;
    services.boxes = &boxes;
    services.shell = &shell;
    services.browsers = &browsers;
    services.tray = &tray;
    services.dialer = &dialer;
    services.processes = &processes;
    services.serviceControl = &serviceControl;
    services.routing = &routing;
    services.icmp = &icmp;
    app::client() = app::ClientState{};
    app::BatchTestRunning() = false;
}

TestEnvironment::~TestEnvironment()
{
    app::services() = m_saved;
    app::client() = app::ClientState{};
}

devbackend::BackendData sampleBackendData()
{
    devbackend::BackendData data;
    data.accounts.insert(QStringLiteral("alice"),
                         {QStringLiteral("secret1"), devbackend::AccountState::Valid, 30});
    data.accounts.insert(QStringLiteral("old"),
                         {QStringLiteral("secret1"), devbackend::AccountState::Expired, 0});
    data.accounts.insert(QStringLiteral("trial"),
                         {QStringLiteral("secret1"), devbackend::AccountState::UsedUp, 0});
    data.accounts.insert(QStringLiteral("张三"),
                         {QStringLiteral("密码 &=+%"), devbackend::AccountState::Valid, 5});
    data.lines.insert(QStringLiteral("127.0.1.1"), {true, {}, {}});
    data.lines.insert(QStringLiteral("127.0.1.2"),
                      {false, QStringLiteral("拨号\"用户"), QStringLiteral("p@ss w\\rd")});
    data.catalogue = QStringLiteral("[华东电信]\n上海1=127.0.1.1,98%,1\n上海2=127.0.1.2,90%,0\n"
                                    "[华北网通]\n北京1=127.0.2.1,95%,1\n北京2=127.0.2.2,100%,1\n"
                                    "北京3=127.0.2.3,99%,x\n"
                                    "[华南]\n广州1=127.0.3.1,97%,1\n广州2=127.0.3.2,96%,0\n"
                                    "[Route]\nr1=10.0.0.0\n");
    return data;
}

std::unique_ptr<devbackend::DevBackend> startBackend(const QString &address,
                                                     devbackend::BackendData data)
{
    auto backend = std::make_unique<devbackend::DevBackend>(std::move(data));
    if (!backend->listen(QHostAddress(address)))
        qFatal("cannot listen on %s:8000: %s", qPrintable(address),
               qPrintable(backend->errorString()));
    return backend;
}

} // namespace testsupport
