#pragma once

#include "platform/settings/SettingsStore.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QTest>

#include <optional>
#include <string>
#include <vector>

namespace platform {

// Found by QCOMPARE through argument-dependent lookup, so failures show the values.
inline char *toString(const RegistryValue &value)
{
    QString text;
    switch (value.type) {
    case ValueType::String:
        text = QStringLiteral("String(\"%1\")").arg(QString::fromStdU16String(value.text));
        break;
    case ValueType::DWord:
        text = QStringLiteral("DWord(0x%1)").arg(value.dword, 0, 16);
        break;
    case ValueType::Binary:
        text = QStringLiteral("Binary(%1)")
                   .arg(QString::fromLatin1(
                       QByteArray(reinterpret_cast<const char *>(value.binary.data()),
                                  static_cast<qsizetype>(value.binary.size()))
                           .toHex()));
        break;
    }
    return QTest::toString(text);
}

inline char *toString(const std::optional<RegistryValue> &value)
{
    return value ? toString(*value) : QTest::toString(QStringLiteral("(no value)"));
}

} // namespace platform

Q_DECLARE_METATYPE(platform::RegistryValue)

inline QStringList toStringList(const std::vector<std::u16string> &names)
{
    QStringList list;
    for (const std::u16string &name : names)
        list.append(QString::fromStdU16String(name));
    return list;
}

inline std::u16string u16(const QString &text)
{
    return text.toStdU16String();
}
