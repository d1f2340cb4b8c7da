#include "app/AppInfo.h"
#include "app/ClientState.h"
#include "app/Configuration.h"
#include "app/PlatformLayers.h"
#include "app/Services.h"
#include "mainwindow/Tfrmmain.h"
#include "platform/processes/ProcessTable.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    app::ProgramFolder() = QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + u'/');
    QApplication::setApplicationName(QStringLiteral("taverin"));
    QApplication::setApplicationDisplayName(app::ApplicationTitle);
    QApplication::setQuitOnLastWindowClosed(false);

    QStringList warnings;
    app::services().config = app::Configuration::load(
        app::Configuration::locate(QApplication::arguments(), app::ProgramFolder()), &warnings);
    for (const QString &warning : std::as_const(warnings))
        std::fprintf(stderr, "taverin: %s\n", qPrintable(warning));
    app::PlatformLayers layers(app::services().config);
    layers.install(app::services());
    // Before any window: later steps may need to end a system process.
    app::services().processes->enableDebugPrivilege();

    // Ending the process goes through the message loop when it runs; an end requested
    // while the main window is still being created (an abandoned login) is returned
    // from here before the loop starts.
    std::optional<int> endedWith;
    mainwindow::Tfrmmain frmmain([&endedWith](int exitCode) {
        endedWith = exitCode;
        QCoreApplication::exit(exitCode);
    });
    frmmain.FormCreate();
    if (endedWith)
        return *endedWith;
    frmmain.show();
    return QApplication::exec();
}
