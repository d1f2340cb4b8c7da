#pragma once

#include <QList>
#include <QString>

namespace devbackend {

// A strict reader for the back end's own data file. Unlike QSettings it keeps commas,
// non-ASCII keys and the order of entries exactly as written.
class IniText
{
public:
    struct Entry
    {
        QString key;
        QString value;
        int line = 0;
    };

    struct Section
    {
        QString name;
        int line = 0;
        QList<Entry> entries;
    };

    // Blank lines and lines starting with ';' or '#' are skipped; keys and values are
    // trimmed. A line that is neither a section header nor "key=value", or an entry before
    // the first section, is an error reported as "line N: ...".
    static QList<Section> parse(const QString &text, QString *error);
};

} // namespace devbackend
