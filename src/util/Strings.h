#pragma once

#include "util/IStrings.h"
#include "util/RegistryAccessor.h"

namespace util {

// The one implementation of IStrings. Text work is done here; path, environment, date and
// settings work is handed to the helpers next to this file.
class Strings final : public IStrings
{
public:
    Strings() = default;
    explicit Strings(qint32 value);
    explicit Strings(const QString &text);

    void SaveText() override;
    void RestoreText() override;
    void FormatNow(const QString &format, bool keep, QString &out) override;
    void WindowsFolder(bool keep, QString &out) override;
    void ResolveProgramFile(bool keep, QString &out) override;
    void DebugTrace(const QString &text) override;
    void ExpandEnvironment(bool keep, QString &out) override;
    qint32 AsInteger() override;
    qint64 AsInt64() override;
    void SubText(int index, int count, QString &out) override;
    void LeftText(int count, QString &out) override;
    void RightText(int count, QString &out) override;
    int PosOf(const QString &needle, int start) override;
    void Split5(std::array<QString, 5> &out, const QString &separator) override;
    void Split10(std::array<QString, 10> &out, const QString &separator) override;
    void Split20(std::array<QString, 20> &out, const QString &separator) override;
    std::optional<QStringList> SplitToList(const QString &separator) override;
    void GetText(QString &out) override;
    void SetText(const QString &text) override;
    void ReplaceText(const QString &oldText, const QString &newText, QString &out, bool keep,
                     int flags) override;
    void LowerText(bool keep, QString &out) override;
    void UpperText(bool keep, QString &out) override;
    bool StartsWith(const QString &prefix) override;
    bool EndsWith(const QString &suffix) override;
    void ReplaceSuffix(const QStringList &suffixes, QString &out, bool keep,
                       const QString &replacement) override;
    bool SameText(const QString &other, int mode) override;
    void TakeFirstChar(bool remove, QString &out) override;
    void PrependText(const QString &text, bool keep, QString &out) override;
    void TakeLastChar(bool remove, QString &out) override;
    void DeleteText(int index, int count, QString &out) override;
    void AppendText(const QString &text, bool keep, QString &out) override;
    void ReverseText(bool keep, QString &out) override;
    void SetInteger(qint32 value, QString &out) override;
    void RepeatText(int count, bool keep, QString &out) override;
    void RandomDigits(int count, bool keep, QString &out) override;
    void WrapText(const QString &wrapper, bool keep, QString &out) override;
    QDateTime AsDate() override;
    void HttpGet(const QString &url, bool keep, QString &out) override;
    void FromAnsiChars(const char *bytes, bool keep, QString &out) override;
    void ByteDigits(const char *bytes, bool keep, QString &out) override;
    void TrimText(bool keep, QString &out) override;
    int TextLength() override;
    void FileNamePart(QString &out) override;
    void FileExtPart(QString &out) override;
    void FilePathPart(QString &out) override;
    void FileDrivePart(QString &out) override;
    bool FileExistsAt(const QString &path) override;
    void Base64DecodeText(bool keep) override;
    void LoadTextFile(const QString &path) override;
    bool SaveTextFile(const QString &path) override;
    void ParseJson(std::optional<QJsonObject> &out) override;

    void SetRootKey(platform::RegistryRoot root) override;
    void SetKeyPrefix(const QString &prefix) override;
    void SetValueName(const QString &name) override;
    void OpenKey(const QString &path, bool create) override;
    bool WriteInteger(qint32 value) override;
    bool WriteString(const QString &text) override;
    bool WriteBool(bool value) override;
    bool WriteDateTime(const QDateTime &value) override;
    void ReadString(bool keep, QString &out) override;
    void ReadBinaryText(bool keep, QString &out) override;
    qint32 ReadInteger() override;
    bool ReadBool() override;
    QDateTime ReadDateTime() override;
    bool DeleteKey(const QString &key) override;
    bool DeleteValue() override;
    void KeyPath(QString &out) override;
    void CloseKey() override;
    bool HasSubKeys() override;
    bool KeyExists(const QString &key) override;
    bool ValueExists(const QString &name) override;
    void SetLazyWrite(bool flag) override;
    void KeyNames(QStringList &list) override;
    void CollectSubKeys(QStringList &list, const QString &keyPath,
                        platform::RegistryRoot root) override;
    void ValueNames(QStringList &list) override;
    void SaveKeyName() override;
    void RestoreKeyName() override;

private:
    // out := result; with keep the current text := result too.
    void deliver(const QString &result, bool keep, QString &out);
    template <std::size_t N>
    void splitInto(std::array<QString, N> &out, const QString &separator) const;
    // A key for DeleteKey and KeyExists as a path from the root.
    QString keyFromRoot(const QString &key) const;

    QString m_text;
    QString m_backup;
    RegistryAccessor m_registry;
    QString m_keyPrefix;
    QString m_key;
    QString m_valueName;
    QString m_savedKey;
};

} // namespace util
