#include "support/BackendFaults.h"

#include "platform/settings/SettingsStore.h"
#include "support/TestEnvironment.h"

#include <QLineEdit>
#include <QTest>

#include <algorithm>

namespace testsupport {

namespace {

QString valueText(const platform::RegistryValue &value)
{
    switch (value.type) {
    case platform::ValueType::String:
        return QStringLiteral("sz:") + QString::fromStdU16String(value.text);
    case platform::ValueType::DWord:
        return QStringLiteral("dword:") + QString::number(value.dword);
    case platform::ValueType::Binary:
        break;
    }
    return QStringLiteral("hex:") +
           QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(value.binary.data()),
                                          qsizetype(value.binary.size()))
                                   .toHex());
}

void collectKey(const platform::SettingsStore &store, platform::RegistryRoot root,
                const QString &rootName, const std::u16string &path, QStringList &lines)
{
    const QString key = rootName + QLatin1Char('\\') + QString::fromStdU16String(path);
    lines << key;
    for (const std::u16string &name : store.valueNames(root, path)) {
        if (const std::optional<platform::RegistryValue> value = store.readValue(root, path, name))
            lines << key + QLatin1Char('\\') + QString::fromStdU16String(name) + QLatin1Char('=') +
                         valueText(*value);
    }
    for (const std::u16string &sub : store.subKeyNames(root, path))
        collectKey(store, root, rootName, path.empty() ? sub : path + u'\\' + sub, lines);
}

} // namespace

const QList<Fault> &backendFaults()
{
    static const QList<Fault> all{Fault::Reset,   Fault::Hang,     Fault::Slow,
                                  Fault::Http500, Fault::Redirect, Fault::Empty,
                                  Fault::Large,   Fault::Garbage,  Fault::ResetInBody};
    return all;
}

QString faultName(Fault fault)
{
    switch (fault) {
    case Fault::Reset:
        return QStringLiteral("refused");
    case Fault::Hang:
        return QStringLiteral("no answer");
    case Fault::Slow:
        return QStringLiteral("answer after the read time-out");
    case Fault::Http500:
        return QStringLiteral("HTTP 500");
    case Fault::Redirect:
        return QStringLiteral("redirect");
    case Fault::Empty:
        return QStringLiteral("empty body");
    case Fault::Large:
        return QStringLiteral("10 MB body");
    case Fault::Garbage:
        return QStringLiteral("not GBK");
    case Fault::ResetInBody:
        return QStringLiteral("reset in the body");
    case Fault::None:
    case Fault::Refuse:
    case Fault::Huge:
        break;
    }
    qFatal("fault %d has no row name", int(fault));
}

void injectFault(devbackend::DevBackend &backend, const QString &script, Fault fault)
{
    const int lateMs = std::max(TestTimeouts.getReadMs, TestTimeouts.postReadMs) + 1000;
    backend.setFault(script, fault, fault == Fault::Slow ? lateMs : 0);
}

int requestsFor(const devbackend::DevBackend &backend, const QString &script)
{
    int count = 0;
    for (const devbackend::LoggedRequest &request : backend.requests())
        count += request.path.endsWith(QLatin1Char('/') + script) ? 1 : 0;
    return count;
}

QStringList settingsSnapshot(const platform::SettingsStore &store)
{
    QStringList lines;
    collectKey(store, platform::RegistryRoot::CurrentUser, QStringLiteral("HKCU"), {}, lines);
    collectKey(store, platform::RegistryRoot::LocalMachine, QStringLiteral("HKLM"), {}, lines);
    return lines;
}

bool takesInput(QWidget *window)
{
    QLineEdit probe(window);
    QTest::keyClicks(&probe, QStringLiteral("ok"));
    return probe.text() == QLatin1String("ok");
}

} // namespace testsupport
