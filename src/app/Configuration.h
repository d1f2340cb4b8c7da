#pragma once

#include <QString>
#include <QStringList>

namespace app {

// Operator configuration, read once at start from an INI file.
struct Configuration
{
    QString master1 = QStringLiteral("master1.example.net");
    QString master2 = QStringLiteral("master2.example.net");
    QString pageHost = QStringLiteral("client.example.net");
    QString website = QStringLiteral("www.example.net"); // host, optionally with ":port"
    QString codePage = QStringLiteral("GBK");
    QString settingsDir; // resolved: never empty after load()

    // How connections are dialled: "pppd" for real tunnels, "sim" for the in-process
    // simulation the demo uses, with the outcome every simulated dial plays.
    QString dialer = QStringLiteral("pppd");
    struct SimulatedDial
    {
        QString outcome = QStringLiteral("connect"); // connect, fail, hang or drop
        int afterMs = 3000;                          // until connected or failed
        int errorCode = 691;                         // for "fail"
        int dropAfterMs = 60000;                     // for "drop", once connected
    } simulatedDial;

    // Where the settings store keeps its files when nothing else is configured.
    static QString defaultSettingsDir();

    // Reads the file at path. Problems are appended to warnings (one line each) and
    // leave the affected keys at their defaults. An empty path gives the defaults.
    static Configuration load(const QString &path, QStringList *warnings);

    // The file to read: --config FILE, else $TAVERIN_CONFIG, else taverin.ini in
    // programFolder when it exists; empty when none applies.
    static QString locate(const QStringList &arguments, const QString &programFolder);
};

} // namespace app
