#pragma once

#include <QString>

namespace app {

inline const QString ApplicationTitle = QStringLiteral("Taverin网络加速器 6.0");
inline const QString ClientVersion = QStringLiteral("6.0");

} // namespace app
