#include "devbackend/IniText.h"

#include <QStringList>

namespace devbackend {

QList<IniText::Section> IniText::parse(const QString &text, QString *error)
{
    QList<Section> sections;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype index = 0; index < lines.size(); ++index) {
        const int lineNumber = static_cast<int>(index) + 1;
        const QString line = lines.at(index).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) ||
            line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            sections.append(Section{line.mid(1, line.size() - 2).trimmed(), lineNumber, {}});
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0) {
            *error = QStringLiteral("line %1: expected [section] or key=value").arg(lineNumber);
            return {};
        }
        if (sections.isEmpty()) {
            *error = QStringLiteral("line %1: entry before the first section").arg(lineNumber);
            return {};
        }
        sections.last().entries.append(
            Entry{line.left(equals).trimmed(), line.mid(equals + 1).trimmed(), lineNumber});
    }
    return sections;
}

} // namespace devbackend
