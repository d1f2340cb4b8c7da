#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace util {

// Splits text at every occurrence of separator (case-sensitive, the whole separator as one
// unit). Empty pieces between separators are dropped, but whatever follows the last
// separator is always appended, even when empty: "a,,b," gives "a", "b", "". An empty
// separator is never found, so the result is the whole text as one piece.
QStringList splitText(const QString &text, const QString &separator);

// Removes leading and trailing blanks and control characters (every code unit up to
// U+0020). Unlike QString::trimmed() it leaves other Unicode spaces alone, so texts from
// the back end keep their ideographic spaces.
QString trimBlanks(const QString &text);

// Case mapping of the Latin letters A-Z only; every other character is kept.
QString lowerAscii(const QString &text);
QString upperAscii(const QString &text);

// Reads an integer in the syntax old settings and replies use: optional leading blanks, an
// optional sign, then decimal digits or hexadecimal digits after "$", "0x" or "0X".
// Hexadecimal values use the full unsigned range and wrap into the signed type.
// nullopt when the text is not such an integer or does not fit.
std::optional<qint32> parseInt32(const QString &text);
std::optional<qint64> parseInt64(const QString &text);

} // namespace util
