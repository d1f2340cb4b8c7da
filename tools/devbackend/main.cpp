// taverin-devbackend: the service's back end on a loopback address, for the demo and for
// trying the client by hand.

#include "devbackend/DevBackend.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QMetaEnum>
#include <QTextStream>

#include <optional>

namespace {

using devbackend::DevBackend;

struct FaultOption
{
    QString script;
    DevBackend::Fault fault = DevBackend::Fault::None;
    int delayMs = 0;
};

// Reads "script=mode[:ms]", mode being a Fault name in any letter case.
std::optional<FaultOption> parseFault(const QString &text)
{
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (equals <= 0)
        return std::nullopt;
    FaultOption option;
    option.script = text.left(equals);
    QString mode = text.mid(equals + 1);
    const qsizetype colon = mode.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        bool ok = false;
        option.delayMs = mode.mid(colon + 1).toInt(&ok);
        if (!ok || option.delayMs < 0)
            return std::nullopt;
        mode.truncate(colon);
    }
    const QMetaEnum faults = QMetaEnum::fromType<DevBackend::Fault>();
    for (int index = 0; index < faults.keyCount(); ++index) {
        if (mode.compare(QLatin1String(faults.key(index)), Qt::CaseInsensitive) == 0) {
            option.fault = static_cast<DevBackend::Fault>(faults.value(index));
            return option;
        }
    }
    return std::nullopt;
}

QString describe(const devbackend::LoggedRequest &request)
{
    QString line = request.method + QLatin1Char(' ') + request.path;
    if (!request.query.isEmpty())
        line += QLatin1Char('?') + request.query;
    for (const devbackend::FormField &field : request.fields)
        line += QLatin1Char(' ') + field.first + QLatin1Char('=') + field.second;
    return line;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("taverin-devbackend"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Local back end for the Taverin client: its scripts and pages over HTTP "
                       "on a loopback address."));
    parser.addHelpOption();
    const QCommandLineOption addressOption(QStringLiteral("address"),
                                           QStringLiteral("Loopback address to listen on."),
                                           QStringLiteral("A"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port."),
                                        QStringLiteral("N"), QStringLiteral("8000"));
    const QCommandLineOption dataOption(
        QStringLiteral("data"), QStringLiteral("Data file (INI, UTF-8)."), QStringLiteral("FILE"),
        QString::fromUtf8(DEVBACKEND_DEMO_DATA));
    const QCommandLineOption faultOption(
        QStringLiteral("fault"),
        QStringLiteral("Make a script misbehave: script=mode[:ms], script being a path's last "
                       "component or *, mode one of refuse, hang, slow, http500, garbage, huge, "
                       "reset, redirect, empty, large, resetinbody. Repeatable."),
        QStringLiteral("script=mode[:ms]"));
    parser.addOptions({addressOption, portOption, dataOption, faultOption});
    parser.process(app);

    const QHostAddress address(parser.value(addressOption));
    if (address.isNull() || !address.isLoopback()) {
        err << "taverin-devbackend: " << parser.value(addressOption)
            << " is not a loopback address; only 127.0.0.0/8 and ::1 are allowed" << Qt::endl;
        return 2;
    }
    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port == 0 || port > 65535) {
        err << "taverin-devbackend: invalid port " << parser.value(portOption) << Qt::endl;
        return 2;
    }
    QList<FaultOption> faults;
    for (const QString &text : parser.values(faultOption)) {
        const std::optional<FaultOption> fault = parseFault(text);
        if (!fault) {
            err << "taverin-devbackend: invalid fault \"" << text << "\", expected script=mode[:ms]"
                << Qt::endl;
            return 2;
        }
        faults.append(*fault);
    }
    QString error;
    devbackend::BackendData data = devbackend::BackendData::load(parser.value(dataOption), &error);
    if (!error.isEmpty()) {
        err << "taverin-devbackend: " << error << Qt::endl;
        return 1;
    }

    DevBackend backend(std::move(data));
    for (const FaultOption &fault : faults)
        backend.setFault(fault.script, fault.fault, fault.delayMs);
    QObject::connect(
        &backend, &DevBackend::requestLogged,
        [&out](const devbackend::LoggedRequest &request) { out << describe(request) << Qt::endl; });
    if (!backend.listen(address, static_cast<quint16>(port))) {
        err << "taverin-devbackend: cannot listen on " << address.toString() << ':' << port << ": "
            << backend.errorString() << Qt::endl;
        return 1;
    }
    out << "taverin-devbackend listening on http://" << address.toString() << ':' << port
        << "/ with data " << parser.value(dataOption) << Qt::endl;
    return app.exec();
}
