#include "catalogue/LineRecord.h"

#include "util/IStrings.h"
#include "util/TextRoutines.h"

namespace catalogue {

namespace {

// An optional sign and decimal digits, nothing else.
std::optional<qint32> decimalInteger(const QString &text)
{
    const qsizetype firstDigit = text.startsWith(u'+') || text.startsWith(u'-') ? 1 : 0;
    if (text.size() == firstDigit)
        return std::nullopt;
    for (qsizetype i = firstDigit; i < text.size(); ++i) {
        if (text.at(i) < u'0' || text.at(i) > u'9')
            return std::nullopt;
    }
    bool ok = false;
    const qint32 number = text.toInt(&ok, 10);
    return ok ? std::optional<qint32>(number) : std::nullopt;
}

} // namespace

std::optional<ps> makeLineRecord(const ServerListDocument &document, const QString &area,
                                 const QString &key)
{
    const QString value = document.value(area, key);
    if (value.isEmpty())
        return std::nullopt;

    const std::shared_ptr<util::IStrings> splitter = util::IStrings::create();
    splitter->SetText(value);
    std::array<QString, 5> fields;
    splitter->Split5(fields, QStringLiteral(","));

    ps record;
    record.name = key;
    record.ip = fields[0];
    record.delay = QStringLiteral("NA");
    record.onlinerate = fields[1];
    record.l2tpstatus =
        decimalInteger(util::trimBlanks(fields[2])) == 1 ? L2tpSupported : L2tpUnsupported;
    return record;
}

} // namespace catalogue
