// The operator's configuration file, read from disk at start.

#include "FuzzSupport.h"

#include "app/Configuration.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const QTemporaryDir scratch;
    static const QString path = scratch.filePath(QStringLiteral("taverin.ini"));
    // QSettings keeps a file it has read and reads it again only when its time stamp or
    // size changed; a new time stamp every run makes it read each input.
    static qint64 serial = 0;
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            fuzzsupport::fail("the scratch file cannot be written");
        file.write(fuzzsupport::bytes(data, size));
        file.flush();
        file.setFileTime(QDateTime::fromSecsSinceEpoch(++serial),
                         QFileDevice::FileModificationTime);
    }
    QStringList warnings;
    const app::Configuration config = app::Configuration::load(path, &warnings);
    if (config.master1.isEmpty() || config.codePage.isEmpty() || config.settingsDir.isEmpty())
        fuzzsupport::fail("a setting the client cannot run without came out empty");
    return 0;
}
