#pragma once

#include "platform/settings/SettingsStore.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <optional>

namespace util {

// The utility object: one current text (empty at creation) that most operations read or
// change, so that callers can chain them (set a reply, split it; read a setting, expand
// it, lower-case it), plus an HTTP GET and access to the settings store.
//
// Conventions:
// - keep: when true the operation's text result also becomes the current text; when false
//   the current text is left as it was.
// - out: receives the result.
// - Positions and indexes are 1-based character positions.
// - Case-insensitive comparisons fold only A-Z.
//
// Objects are made by create() and live as long as a std::shared_ptr holds them. Each is
// meant for one handler on the GUI thread; it has no locks.
class IStrings
{
public:
    virtual ~IStrings() = default;

    static std::shared_ptr<IStrings> create();

    // Saved copy of the current text (empty at creation).
    virtual void SaveText() = 0;
    virtual void RestoreText() = 0;
    // The local date and time now; see util::formatDateTime for the pattern letters.
    virtual void FormatNow(const QString &format, bool keep, QString &out) = 0;
    // The environment variable "windir".
    virtual void WindowsFolder(bool keep, QString &out) = 0;
    // The program file the current text (a command line) names; see
    // util::resolveProgramFile. With keep the current text becomes the result, except after
    // a launcher prefix ("rundll32.exe "), where it becomes the trimmed, lower-cased command
    // line.
    virtual void ResolveProgramFile(bool keep, QString &out) = 0;
    // "strings: " and the text to the debug output.
    virtual void DebugTrace(const QString &text) = 0;
    // The current text with %NAME% references expanded, trimmed; the current text
    // unchanged when the result would not fit 1023 characters.
    virtual void ExpandEnvironment(bool keep, QString &out) = 0;
    // The current text as an integer ("12", "-7", "$1F", "0x1f"); 0 when it is not one.
    virtual qint32 AsInteger() = 0;
    virtual qint64 AsInt64() = 0;
    // count characters from index; an index of 0 or less counts from the end
    // (index + length + 1).
    virtual void SubText(int index, int count, QString &out) = 0;
    virtual void LeftText(int count, QString &out) = 0;
    virtual void RightText(int count, QString &out) = 0;
    // 1-based position of needle (case-sensitive) searching from start (from the
    // beginning when start is 0 or less); 0 when absent.
    virtual int PosOf(const QString &needle, int start) = 0;
    // Split the current text at separator (see util::splitText) and copy the first pieces
    // into out; the other elements are empty and pieces beyond the array are dropped.
    // The current text stays.
    virtual void Split5(std::array<QString, 5> &out, const QString &separator) = 0;
    virtual void Split10(std::array<QString, 10> &out, const QString &separator) = 0;
    virtual void Split20(std::array<QString, 20> &out, const QString &separator) = 0;
    // All pieces; nullopt for an empty separator.
    virtual std::optional<QStringList> SplitToList(const QString &separator) = 0;
    virtual void GetText(QString &out) = 0;
    virtual void SetText(const QString &text) = 0;
    // flags bit 0: replace every occurrence (else the first only); bit 1: ignore case.
    virtual void ReplaceText(const QString &oldText, const QString &newText, QString &out,
                             bool keep, int flags) = 0;
    virtual void LowerText(bool keep, QString &out) = 0;
    virtual void UpperText(bool keep, QString &out) = 0;
    virtual bool StartsWith(const QString &prefix) = 0;
    // False for an empty suffix.
    virtual bool EndsWith(const QString &suffix) = 0;
    // The first suffix of the list (in list order) that ends the text is replaced by
    // replacement; out is the unchanged text when none matches and empty for an empty list.
    virtual void ReplaceSuffix(const QStringList &suffixes, QString &out, bool keep,
                               const QString &replacement) = 0;
    // mode 1: equal after folding A-Z; any other mode: exactly equal.
    virtual bool SameText(const QString &other, int mode) = 0;
    virtual void TakeFirstChar(bool remove, QString &out) = 0;
    virtual void PrependText(const QString &text, bool keep, QString &out) = 0;
    // An empty current text leaves out unchanged.
    virtual void TakeLastChar(bool remove, QString &out) = 0;
    virtual void DeleteText(int index, int count, QString &out) = 0;
    virtual void AppendText(const QString &text, bool keep, QString &out) = 0;
    virtual void ReverseText(bool keep, QString &out) = 0;
    virtual void SetInteger(qint32 value, QString &out) = 0;
    virtual void RepeatText(int count, bool keep, QString &out) = 0;
    // count picks of "1" to "10", concatenated, from a generator seeded from the clock.
    virtual void RandomDigits(int count, bool keep, QString &out) = 0;
    virtual void WrapText(const QString &wrapper, bool keep, QString &out) = 0;
    // The current text as a date ("2024-03-01" or "2024/3/1") at midnight, local time;
    // an invalid QDateTime when it is not a date.
    virtual QDateTime AsDate() = 0;
    // The body of an HTTP GET through app::services().http; empty on any failure. With
    // keep the current text becomes the body, also when it is empty.
    virtual void HttpGet(const QString &url, bool keep, QString &out) = 0;
    // One character per byte of the zero-terminated string (nullptr counts as empty).
    virtual void FromAnsiChars(const char *bytes, bool keep, QString &out) = 0;
    // For each byte, the first character of its decimal value (65 gives "6").
    virtual void ByteDigits(const char *bytes, bool keep, QString &out) = 0;
    // Without leading and trailing blanks and control characters.
    virtual void TrimText(bool keep, QString &out) = 0;
    virtual int TextLength() = 0;
    // Parts of the current text read as a path; see util/PathParts.h.
    virtual void FileNamePart(QString &out) = 0;
    virtual void FileExtPart(QString &out) = 0;
    virtual void FilePathPart(QString &out) = 0;
    virtual void FileDrivePart(QString &out) = 0;
    // Whether a regular file exists at path; an empty path tests the current text.
    virtual bool FileExistsAt(const QString &path) = 0;
    // Decodes the current text from Base64, one byte per character both ways; characters
    // outside the Base64 alphabet are skipped and the result is trimmed. Only with keep
    // does the result become the current text; without it nothing changes.
    virtual void Base64DecodeText(bool keep) = 0;
    // When the file exists, the current text becomes its content (UTF-8), trimmed.
    virtual void LoadTextFile(const QString &path) = 0;
    // Writes the current text as UTF-8; false when the file could not be written.
    virtual bool SaveTextFile(const QString &path) = 0;
    // Parses the current text as a JSON object and keeps it; out is nullopt when the text
    // is not a JSON object.
    virtual void ParseJson(std::optional<QJsonObject> &out) = 0;

    // Settings store access through app::services().settings. The root starts as
    // CurrentUser; keys open below a prefix. Reads never fail: a missing value, a value of
    // another type or no open key gives empty, 0, false or an invalid QDateTime. Writes
    // return false when no key is open or the store refuses them.
    virtual void SetRootKey(platform::RegistryRoot root) = 0;
    virtual void SetKeyPrefix(const QString &prefix) = 0;
    // The value name reads and writes address; empty means the key's default value.
    virtual void SetValueName(const QString &name) = 0;
    // Opens prefix + "\" + path (a leading "\" of path is dropped first, so with an empty
    // prefix both spellings open the same key from the root), or the prefix itself for an
    // empty path. With create a missing key is made. Failure is not reported: later
    // reads give their defaults and writes return false.
    virtual void OpenKey(const QString &path, bool create) = 0;
    virtual bool WriteInteger(qint32 value) = 0;
    virtual bool WriteString(const QString &text) = 0;
    // As a DWORD 1 or 0.
    virtual bool WriteBool(bool value) = 0;
    // As 8 bytes of binary: days since 1899-12-30 as a little-endian double, the fraction
    // being the time of day, local time.
    virtual bool WriteDateTime(const QDateTime &value) = 0;
    virtual void ReadString(bool keep, QString &out) = 0;
    // Up to 256 bytes of binary data read as UTF-16 up to the first zero.
    virtual void ReadBinaryText(bool keep, QString &out) = 0;
    virtual qint32 ReadInteger() = 0;
    // The value read as an integer, true when not 0.
    virtual bool ReadBool() = 0;
    virtual QDateTime ReadDateTime() = 0;
    // For DeleteKey and KeyExists a key beginning with "\" counts from the root, any
    // other from the open key (from the prefix when none is open).
    virtual bool DeleteKey(const QString &key) = 0;
    virtual bool DeleteValue() = 0;
    // prefix + "\" + path of the last OpenKey, or the prefix alone for an empty path.
    virtual void KeyPath(QString &out) = 0;
    virtual void CloseKey() = 0;
    virtual bool HasSubKeys() = 0;
    virtual bool KeyExists(const QString &key) = 0;
    virtual bool ValueExists(const QString &name) = 0;
    // The store commits every write itself; there is nothing to defer.
    virtual void SetLazyWrite(bool flag) = 0;
    // Replace the list's content with the names of the open key's subkeys or values.
    virtual void KeyNames(QStringList &list) = 0;
    // Appends keyPath + "\" + name for every key below keyPath on root, depth first: each
    // key comes right before the keys below it.
    virtual void CollectSubKeys(QStringList &list, const QString &keyPath,
                                platform::RegistryRoot root) = 0;
    virtual void ValueNames(QStringList &list) = 0;
    // Saved copy of the path of the last OpenKey (not reopened on restore).
    virtual void SaveKeyName() = 0;
    virtual void RestoreKeyName() = 0;
};

} // namespace util
