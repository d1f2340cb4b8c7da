#include "util/ProgramFile.h"

#include "util/EnvironmentExpansion.h"
#include "util/TextRoutines.h"

#include <QFileInfo>

namespace util {

namespace {

// Command-line prefixes that launch something else; the prefix itself is the answer.
const QStringList LauncherPrefixes = {QStringLiteral("rundll32.exe ")};

QString firstPiece(const QString &text, const QString &separator)
{
    return splitText(text, separator).constFirst();
}

QString withoutEnclosingQuotes(QString word)
{
    if (word.startsWith(u'"'))
        word.remove(0, 1);
    if (word.endsWith(u'"'))
        word.chop(1);
    return word;
}

} // namespace

QString expandEnvironmentOrKeep(const QString &text)
{
    const std::optional<QString> expanded = expandEnvironment(text);
    return expanded ? trimBlanks(*expanded) : text;
}

bool fileExists(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

ProgramFileResolution resolveProgramFile(const QString &commandLine)
{
    QString text = lowerAscii(trimBlanks(commandLine));
    for (const QString &prefix : LauncherPrefixes) {
        if (text.startsWith(prefix))
            return {prefix, text};
    }
    if (fileExists(text))
        return {text, std::nullopt};

    text = expandEnvironmentOrKeep(text);
    if (fileExists(text))
        return {text, std::nullopt};

    const QString firstPart =
        trimBlanks(text.startsWith(u'"') ? firstPiece(text.mid(1), QStringLiteral("\""))
                                         : firstPiece(text, QStringLiteral(" ")));
    if (fileExists(firstPart))
        return {firstPart, std::nullopt};

    const QString firstWord = expandEnvironmentOrKeep(withoutEnclosingQuotes(
        trimBlanks(firstPiece(trimBlanks(commandLine), QStringLiteral(" ")))));
    if (fileExists(firstWord))
        return {firstWord, std::nullopt};

    const QStringList dotted = splitText(commandLine, QStringLiteral("."));
    const QString afterDot = dotted.size() > 1 ? dotted.at(1) : QString();
    return {dotted.constFirst() + u'.' + firstPiece(afterDot, QStringLiteral(" ")), std::nullopt};
}

} // namespace util
