#include "util/RegistryAccessor.h"

#include "app/Services.h"

namespace util {

namespace {

QStringList toStringList(const std::vector<std::u16string> &names)
{
    QStringList list;
    list.reserve(static_cast<qsizetype>(names.size()));
    for (const std::u16string &name : names)
        list.append(QString::fromStdU16String(name));
    return list;
}

} // namespace

RegistryAccessor::RegistryAccessor(platform::RegistryRoot root) : m_root(root) {}

platform::SettingsStore *RegistryAccessor::store()
{
    return app::services().settings;
}

void RegistryAccessor::setRoot(platform::RegistryRoot root)
{
    if (root != m_root)
        closeKey();
    m_root = root;
}

bool RegistryAccessor::openKey(const QString &path, bool create)
{
    closeKey();
    platform::SettingsStore *settings = store();
    if (!settings)
        return false;
    const std::u16string key = path.toStdU16String();
    const bool opened =
        create ? settings->createKey(m_root, key) : settings->keyExists(m_root, key);
    if (opened)
        m_openPath = path;
    return opened;
}

void RegistryAccessor::closeKey()
{
    m_openPath.reset();
}

bool RegistryAccessor::keyExists(const QString &path) const
{
    const platform::SettingsStore *settings = store();
    return settings && settings->keyExists(m_root, path.toStdU16String());
}

bool RegistryAccessor::deleteKey(const QString &path)
{
    platform::SettingsStore *settings = store();
    return settings && settings->deleteKey(m_root, path.toStdU16String());
}

QStringList RegistryAccessor::subKeyNames(const QString &path) const
{
    const platform::SettingsStore *settings = store();
    if (!settings)
        return {};
    return toStringList(settings->subKeyNames(m_root, path.toStdU16String()));
}

std::optional<platform::RegistryValue> RegistryAccessor::readValue(const QString &name) const
{
    const platform::SettingsStore *settings = store();
    if (!settings || !m_openPath)
        return std::nullopt;
    return settings->readValue(m_root, m_openPath->toStdU16String(), name.toStdU16String());
}

bool RegistryAccessor::writeValue(const QString &name, const platform::RegistryValue &value)
{
    platform::SettingsStore *settings = store();
    return settings && m_openPath &&
           settings->writeValue(m_root, m_openPath->toStdU16String(), name.toStdU16String(), value);
}

bool RegistryAccessor::deleteValue(const QString &name)
{
    platform::SettingsStore *settings = store();
    return settings && m_openPath &&
           settings->deleteValue(m_root, m_openPath->toStdU16String(), name.toStdU16String());
}

QStringList RegistryAccessor::subKeyNames() const
{
    return m_openPath ? subKeyNames(*m_openPath) : QStringList();
}

QStringList RegistryAccessor::valueNames() const
{
    const platform::SettingsStore *settings = store();
    if (!settings || !m_openPath)
        return {};
    return toStringList(settings->valueNames(m_root, m_openPath->toStdU16String()));
}

} // namespace util
