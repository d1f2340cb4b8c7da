#include "util/EnvironmentExpansion.h"

namespace util {

std::optional<QString> expandEnvironment(const QString &text)
{
    QString out;
    qsizetype i = 0;
    while (i < text.size()) {
        if (text.at(i) != u'%') {
            out += text.at(i);
            ++i;
            continue;
        }
        const qsizetype closing = text.indexOf(u'%', i + 1);
        if (closing < 0) {
            out += text.mid(i);
            break;
        }
        const QByteArray name = text.mid(i + 1, closing - i - 1).toLocal8Bit();
        if (!name.isEmpty() && qEnvironmentVariableIsSet(name.constData())) {
            out += qEnvironmentVariable(name.constData());
            i = closing + 1;
        } else {
            // The closing "%" may open the next reference.
            out += text.mid(i, closing - i);
            i = closing;
        }
    }
    if (out.size() >= ExpansionBufferSize)
        return std::nullopt;
    const qsizetype zero = out.indexOf(QChar(0));
    if (zero >= 0)
        out.truncate(zero);
    return out;
}

} // namespace util
