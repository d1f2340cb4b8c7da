#include "app/Configuration.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStringDecoder>

namespace app {

namespace {

// A host name or dotted IPv4 address; the web site may also name a port.
bool isHost(const QString &host, bool portAllowed)
{
    static const QRegularExpression name(
        QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?$"));
    static const QRegularExpression nameAndPort(
        QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?(:[1-9][0-9]{0,4})?$"));
    return host.size() <= 253 && (portAllowed ? nameAndPort : name).match(host).hasMatch();
}

void readHost(const QSettings &ini, const QString &key, QString &target, const QString &file,
              QStringList *warnings, bool portAllowed = false)
{
    if (!ini.contains(key))
        return;
    const QString value = ini.value(key).toString().trimmed();
    if (isHost(value, portAllowed))
        target = value;
    else
        warnings->append(
            QStringLiteral("%1: %2 is not a host name or IPv4 address: \"%3\"; using %4")
                .arg(file, key, value, target));
}

void readNumber(const QSettings &ini, const QString &key, int &target, const QString &file,
                QStringList *warnings)
{
    if (!ini.contains(key))
        return;
    bool ok = false;
    const int value = ini.value(key).toString().trimmed().toInt(&ok);
    if (ok && value >= 0)
        target = value;
    else
        warnings->append(QStringLiteral("%1: %2 is not a non-negative number; using %3")
                             .arg(file, key)
                             .arg(target));
}

void readDialer(const QSettings &ini, Configuration &config, const QString &file,
                QStringList *warnings)
{
    if (ini.contains(QStringLiteral("platform/dialer"))) {
        const QString dialer = ini.value(QStringLiteral("platform/dialer")).toString().trimmed();
        if (dialer == QLatin1String("pppd") || dialer == QLatin1String("sim"))
            config.dialer = dialer;
        else
            warnings->append(QStringLiteral("%1: dialer must be pppd or sim, not \"%2\"; using %3")
                                 .arg(file, dialer, config.dialer));
    }
    Configuration::SimulatedDial &sim = config.simulatedDial;
    if (ini.contains(QStringLiteral("simdialer/outcome"))) {
        const QString outcome = ini.value(QStringLiteral("simdialer/outcome")).toString().trimmed();
        if (QStringList{"connect", "fail", "hang", "drop"}.contains(outcome))
            sim.outcome = outcome;
        else
            warnings->append(QStringLiteral("%1: unknown simdialer outcome \"%2\"; using %3")
                                 .arg(file, outcome, sim.outcome));
    }
    readNumber(ini, QStringLiteral("simdialer/after"), sim.afterMs, file, warnings);
    readNumber(ini, QStringLiteral("simdialer/error"), sim.errorCode, file, warnings);
    readNumber(ini, QStringLiteral("simdialer/dropafter"), sim.dropAfterMs, file, warnings);
}

} // namespace

QString Configuration::defaultSettingsDir()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    const QString base = xdg.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : xdg;
    return base + QStringLiteral("/taverin");
}

Configuration Configuration::load(const QString &path, QStringList *warnings)
{
    Configuration config;
    if (!path.isEmpty()) {
        const QFileInfo file(path);
        if (!file.isFile() || !file.isReadable()) {
            warnings->append(
                QStringLiteral("configuration file %1 cannot be read; using built-in defaults")
                    .arg(path));
        } else {
            QSettings ini(path, QSettings::IniFormat);
            if (ini.status() != QSettings::NoError) {
                warnings->append(
                    QStringLiteral("configuration file %1 is malformed; using built-in defaults")
                        .arg(path));
            } else {
                readHost(ini, QStringLiteral("backend/master1"), config.master1, path, warnings);
                readHost(ini, QStringLiteral("backend/master2"), config.master2, path, warnings);
                readHost(ini, QStringLiteral("backend/pagehost"), config.pageHost, path, warnings);
                readHost(ini, QStringLiteral("backend/website"), config.website, path, warnings,
                         true);
                if (ini.contains(QStringLiteral("backend/codepage"))) {
                    const QString codePage =
                        ini.value(QStringLiteral("backend/codepage")).toString().trimmed();
                    if (QStringDecoder(codePage.toLatin1().constData()).isValid())
                        config.codePage = codePage;
                    else
                        warnings->append(QStringLiteral("%1: unknown codepage \"%2\"; using %3")
                                             .arg(path, codePage, config.codePage));
                }
                readDialer(ini, config, path, warnings);
                const QString dir =
                    ini.value(QStringLiteral("platform/settingsdir")).toString().trimmed();
                if (!dir.isEmpty())
                    config.settingsDir = QDir::cleanPath(file.absoluteDir().absoluteFilePath(dir));
            }
        }
    }
    const QString overrideDir = qEnvironmentVariable("TAVERIN_SETTINGS_DIR");
    if (!overrideDir.isEmpty())
        config.settingsDir = QDir::cleanPath(QDir::current().absoluteFilePath(overrideDir));
    if (config.settingsDir.isEmpty())
        config.settingsDir = defaultSettingsDir();
    return config;
}

QString Configuration::locate(const QStringList &arguments, const QString &programFolder)
{
    const qsizetype flag = arguments.indexOf(QStringLiteral("--config"));
    if (flag >= 0 && flag + 1 < arguments.size())
        return arguments.at(flag + 1);
    for (const QString &argument : arguments) {
        if (argument.startsWith(QStringLiteral("--config=")))
            return argument.mid(9);
    }
    const QString fromEnvironment = qEnvironmentVariable("TAVERIN_CONFIG");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QString beside = QDir(programFolder).filePath(QStringLiteral("taverin.ini"));
    return QFileInfo::exists(beside) ? beside : QString();
}

} // namespace app
