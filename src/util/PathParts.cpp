#include "util/PathParts.h"

namespace util {

namespace {

bool isFolderSeparator(QChar c)
{
    return c == u'\\' || c == u'/';
}

bool isNameDelimiter(QChar c)
{
    return isFolderSeparator(c) || c == u':';
}

qsizetype lastNameDelimiter(const QString &path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (isNameDelimiter(path.at(i)))
            return i;
    }
    return -1;
}

} // namespace

QString fileNamePart(const QString &path)
{
    return path.mid(lastNameDelimiter(path) + 1);
}

QString fileExtPart(const QString &path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        const QChar c = path.at(i);
        if (c == u'.')
            return path.mid(i);
        if (isNameDelimiter(c))
            break;
    }
    return {};
}

QString filePathPart(const QString &path)
{
    return path.left(lastNameDelimiter(path) + 1);
}

QString fileDrivePart(const QString &path)
{
    static const QString UrlScheme = QStringLiteral("file://");
    const QString p =
        path.startsWith(UrlScheme, Qt::CaseInsensitive) ? path.mid(UrlScheme.size()) : path;
    if (p.size() >= 2 && p.at(1) == u':')
        return p.left(2);
    if (p.size() >= 2 && isFolderSeparator(p.at(0)) && isFolderSeparator(p.at(1))) {
        // Server and share: up to the separator after the share name.
        qsizetype separators = 0;
        qsizetype i = 2;
        while (i < p.size() - 1 && separators < 2) {
            if (isFolderSeparator(p.at(i)))
                ++separators;
            if (separators < 2)
                ++i;
        }
        if (i < p.size() && isFolderSeparator(p.at(i)))
            --i;
        return p.left(i + 1);
    }
    return {};
}

} // namespace util
