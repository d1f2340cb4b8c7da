// The server-list document as it arrives from the back end (bytes in its code page), and
// the table rows the client makes of every line of every area.

#include "FuzzSupport.h"

#include "catalogue/LineRecord.h"
#include "catalogue/ServerListDocument.h"
#include "platform/http/QtHttpTransport.h"
#include "util/TextRoutines.h"

#include <QSet>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text =
        platform::QtHttpTransport::decode(fuzzsupport::bytes(data, size), QStringLiteral("GBK"));
    const catalogue::ServerListDocument document = catalogue::ServerListDocument::parse(text);

    // A name listed twice finds the same (first) area; filling it once is what the window
    // does, and keeps this loop linear.
    QSet<QString> filled;
    for (const QString &area : document.sectionNames()) {
        if (catalogue::isReservedRouteSection(area) || filled.contains(util::lowerAscii(area)))
            continue;
        filled.insert(util::lowerAscii(area));
        const QStringList keys = document.keys(area);
        if (document.entries(area).size() != keys.size())
            fuzzsupport::fail("an area lists a different number of keys and entries");
        for (const QString &key : keys) {
            const std::optional<catalogue::ps> record =
                catalogue::makeLineRecord(document, area, key);
            if (record.has_value() == document.value(area, key).isEmpty())
                fuzzsupport::fail("a line has a row exactly when its value is empty");
            if (record && (record->name != key || record->ip.contains(u',')))
                fuzzsupport::fail("a row names another line or a host with a separator");
        }
    }
    return 0;
}
