#pragma once

#include "platform/settings/SettingsStore.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace util {

// One open key at a time on one root of the process's settings store
// (app::services().settings), the way a registry handle is used. Paths are from the root.
// Without a store, or without an open key, reads find nothing and changes fail.
class RegistryAccessor
{
public:
    explicit RegistryAccessor(platform::RegistryRoot root = platform::RegistryRoot::CurrentUser);

    platform::RegistryRoot root() const { return m_root; }
    // Closes the open key when the root changes.
    void setRoot(platform::RegistryRoot root);

    // Opens the key, creating it (and the keys above it) with create. False when the key
    // is missing or could not be created; no key is open then.
    bool openKey(const QString &path, bool create);
    void closeKey();
    bool isOpen() const { return m_openPath.has_value(); }
    // The open key's path; empty when none is open.
    QString openPath() const { return m_openPath.value_or(QString()); }

    bool keyExists(const QString &path) const;
    bool deleteKey(const QString &path);
    QStringList subKeyNames(const QString &path) const;

    // On the open key.
    std::optional<platform::RegistryValue> readValue(const QString &name) const;
    bool writeValue(const QString &name, const platform::RegistryValue &value);
    bool deleteValue(const QString &name);
    QStringList subKeyNames() const;
    QStringList valueNames() const;

private:
    static platform::SettingsStore *store();

    platform::RegistryRoot m_root;
    std::optional<QString> m_openPath;
};

} // namespace util
