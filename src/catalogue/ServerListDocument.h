#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace catalogue {

// The catalogue of VPN lines as the back end delivers it: an INI text with one section
// per area and one entry per line.
//
// How the text is read:
// - Lines end at CR, LF or CR LF and are trimmed of blanks and control characters.
// - Empty lines and lines beginning with ";" are skipped.
// - "[name]" starts a section named by the trimmed text between the brackets.
// - Other lines belong to the current section; lines before the first section are
//   skipped. The key is the trimmed text before the first "=", the value the trimmed text
//   after it. A line without "=" is an entry with an empty key and an empty value.
// - Section and key lookups fold the case of A-Z only. Sections and entries keep their
//   document order, duplicates included; a lookup finds the first match.
class ServerListDocument
{
public:
    static ServerListDocument parse(const QString &text);

    // Every section, in document order, duplicates included.
    QStringList sectionNames() const;
    // The keys of the section's entries; empty when the section does not exist.
    QStringList keys(const QString &section) const;
    // The section's entries, each as key "=" value.
    QStringList entries(const QString &section) const;
    // The first entry's value with that key; empty when the section or key is missing.
    QString value(const QString &section, const QString &key) const;

private:
    struct Entry
    {
        QString key;
        QString value;
    };
    // Lookups go through indexes built at parse time, so that asking for every key of a
    // large area (as an area switch does) stays linear.
    struct Section
    {
        QString name;
        QList<Entry> entries;
        // A-Z-folded key -> index of the first entry with that key.
        QHash<QString, qsizetype> firstEntryByKey;
    };

    const Section *findSection(const QString &name) const;

    QList<Section> m_sections;
    // A-Z-folded name -> index of the first section with that name.
    QHash<QString, qsizetype> m_firstSectionByName;
};

// Whether an area holds a route set of an acceleration mode rather than lines.
bool isReservedRouteSection(const QString &name);

} // namespace catalogue
