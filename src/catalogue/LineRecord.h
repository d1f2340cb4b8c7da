#pragma once

#include "catalogue/ServerListDocument.h"

#include <QString>

#include <optional>

namespace catalogue {

// The data of one row of the line table.
struct ps
{
    QString ip;           // host: dotted IPv4 address or host name
    QString name;         // line name, the entry's key
    QString delay;        // "NA" until measured: milliseconds as decimal text, or "禁ping"
    QString lostpacket;   // not filled
    QString sendtimes;    // not filled
    qint32 losttimes = 0; // failed probes
    QString onlinerate;   // free text such as "95%"
    QString l2tpstatus;   // "支持" or "不支持"
};

inline const QString L2tpSupported = QStringLiteral("支持");
inline const QString L2tpUnsupported = QStringLiteral("不支持");

// The record for the line key of the area: the value's comma-separated fields are host,
// online rate and L2TP flag (fields beyond the fifth are dropped, empty ones skipped
// before counting). A flag that is missing or not a decimal integer counts as "not 1", so
// one malformed line cannot stop the rest of the table from filling. nullopt when the
// value is empty: such a line has no table row.
std::optional<ps> makeLineRecord(const ServerListDocument &document, const QString &area,
                                 const QString &key);

} // namespace catalogue
