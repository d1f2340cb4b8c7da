#include "catalogue/ServerListDocument.h"

#include "util/TextRoutines.h"

#include <utility>

namespace catalogue {

namespace {

// Splits at CR LF, CR or LF.
QList<QStringView> splitLines(QStringView text)
{
    QList<QStringView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.sliced(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    lines.append(text.sliced(start));
    return lines;
}

// Records where a name first occurs; later duplicates stay listed but are never found.
void indexFirst(QHash<QString, qsizetype> &index, const QString &name, qsizetype position)
{
    const QString lookupName = util::lowerAscii(name);
    if (!index.contains(lookupName))
        index.insert(lookupName, position);
}

} // namespace

ServerListDocument ServerListDocument::parse(const QString &text)
{
    ServerListDocument document;
    Section *current = nullptr;
    for (const QStringView rawLine : splitLines(text)) {
        const QString line = util::trimBlanks(rawLine.toString());
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            const QString name = util::trimBlanks(line.mid(1, line.size() - 2));
            indexFirst(document.m_firstSectionByName, name, document.m_sections.size());
            document.m_sections.append(Section{name, {}, {}});
            current = &document.m_sections.last();
            continue;
        }
        if (!current)
            continue;
        const qsizetype equals = line.indexOf(u'=');
        Entry entry;
        if (equals >= 0) {
            entry.key = util::trimBlanks(line.left(equals));
            entry.value = util::trimBlanks(line.mid(equals + 1));
        }
        indexFirst(current->firstEntryByKey, entry.key, current->entries.size());
        current->entries.append(std::move(entry));
    }
    return document;
}

const ServerListDocument::Section *ServerListDocument::findSection(const QString &name) const
{
    const auto found = m_firstSectionByName.constFind(util::lowerAscii(name));
    return found == m_firstSectionByName.cend() ? nullptr : &m_sections.at(*found);
}

QStringList ServerListDocument::sectionNames() const
{
    QStringList names;
    names.reserve(m_sections.size());
    for (const Section &section : m_sections)
        names.append(section.name);
    return names;
}

QStringList ServerListDocument::keys(const QString &section) const
{
    QStringList result;
    if (const Section *found = findSection(section)) {
        result.reserve(found->entries.size());
        for (const Entry &entry : found->entries)
            result.append(entry.key);
    }
    return result;
}

QStringList ServerListDocument::entries(const QString &section) const
{
    QStringList result;
    if (const Section *found = findSection(section)) {
        result.reserve(found->entries.size());
        for (const Entry &entry : found->entries)
            result.append(entry.key + u'=' + entry.value);
    }
    return result;
}

QString ServerListDocument::value(const QString &section, const QString &key) const
{
    const Section *found = findSection(section);
    if (!found)
        return {};
    const auto entry = found->firstEntryByKey.constFind(util::lowerAscii(key));
    return entry == found->firstEntryByKey.cend() ? QString() : found->entries.at(*entry).value;
}

bool isReservedRouteSection(const QString &name)
{
    static const QStringList Reserved = {QStringLiteral("route"), QStringLiteral("海外加速"),
                                         QStringLiteral("电信加速"), QStringLiteral("网通加速")};
    return Reserved.contains(util::lowerAscii(name));
}

} // namespace catalogue
