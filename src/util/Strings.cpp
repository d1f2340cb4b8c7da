#include "util/Strings.h"

#include "app/Services.h"
#include "platform/http/HttpTransport.h"
#include "util/DateTimePattern.h"
#include "util/EnvironmentExpansion.h"
#include "util/PathParts.h"
#include "util/ProgramFile.h"
#include "util/TextRoutines.h"

#include <QDebug>
#include <QFile>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cmath>

namespace util {

namespace {

// Copies count characters from the 1-based index, as the runtime's Copy does: an index
// below 1 starts at the first character, one past the end or a count of 0 or less gives
// nothing.
QString copyText(const QString &text, qsizetype index, qsizetype count)
{
    index = std::max<qsizetype>(index, 1);
    if (count <= 0 || index > text.size())
        return {};
    return text.mid(index - 1, count);
}

bool isBase64Letter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/';
}

// Date-times in binary settings: days since this day, the fraction being the time of day.
const QDate DayZero(1899, 12, 30);
constexpr double MSecsPerDay = 86400000.0;
using DateTimeBytes = std::array<std::uint8_t, sizeof(double)>;
constexpr qsizetype BinaryTextLimit = 256;

double toDayCount(const QDateTime &value)
{
    const auto days = static_cast<double>(DayZero.daysTo(value.date()));
    const double fraction = value.time().msecsSinceStartOfDay() / MSecsPerDay;
    // Before day zero the fraction still counts forwards from midnight.
    return days >= 0 ? days + fraction : days - fraction;
}

QDateTime fromDayCount(double dayCount)
{
    if (!std::isfinite(dayCount) || std::abs(dayCount) > 3.0e6)
        return {};
    auto days = static_cast<qint64>(std::trunc(dayCount));
    auto msecs = std::llround(std::abs(dayCount - static_cast<double>(days)) * MSecsPerDay);
    if (msecs >= static_cast<long long>(MSecsPerDay)) {
        days += dayCount >= 0 ? 1 : -1;
        msecs = 0;
    }
    return QDateTime(DayZero.addDays(days),
                     QTime::fromMSecsSinceStartOfDay(static_cast<int>(msecs)));
}

void collectSubKeysBelow(QStringList &list, const QString &keyPath, platform::RegistryRoot root)
{
    RegistryAccessor accessor(root);
    if (!accessor.openKey(keyPath, false))
        return;
    for (const QString &name : accessor.subKeyNames()) {
        const QString child = keyPath + u'\\' + name;
        list.append(child);
        collectSubKeysBelow(list, child, root);
    }
}

} // namespace

std::shared_ptr<IStrings> IStrings::create()
{
    return std::make_shared<Strings>();
}

Strings::Strings(qint32 value) : m_text(QString::number(value)) {}

Strings::Strings(const QString &text) : m_text(text) {}

void Strings::deliver(const QString &result, bool keep, QString &out)
{
    out = result;
    if (keep)
        m_text = result;
}

void Strings::SaveText()
{
    m_backup = m_text;
}

void Strings::RestoreText()
{
    m_text = m_backup;
}

void Strings::FormatNow(const QString &format, bool keep, QString &out)
{
    deliver(formatDateTime(QDateTime::currentDateTime(), format), keep, out);
}

void Strings::WindowsFolder(bool keep, QString &out)
{
    deliver(qEnvironmentVariable("windir"), keep, out);
}

void Strings::ResolveProgramFile(bool keep, QString &out)
{
    const ProgramFileResolution resolution = resolveProgramFile(m_text);
    out = resolution.programFile;
    if (keep)
        m_text = resolution.launcherCommandLine.value_or(resolution.programFile);
}

void Strings::DebugTrace(const QString &text)
{
    qDebug().noquote() << QStringLiteral("strings: ") + text;
}

void Strings::ExpandEnvironment(bool keep, QString &out)
{
    deliver(expandEnvironmentOrKeep(m_text), keep, out);
}

qint32 Strings::AsInteger()
{
    return parseInt32(m_text).value_or(0);
}

qint64 Strings::AsInt64()
{
    return parseInt64(m_text).value_or(0);
}

void Strings::SubText(int index, int count, QString &out)
{
    const qsizetype start = index <= 0 ? index + m_text.size() + 1 : index;
    out = copyText(m_text, start, count);
}

void Strings::LeftText(int count, QString &out)
{
    out = copyText(m_text, 1, count);
}

void Strings::RightText(int count, QString &out)
{
    out = count > 0 ? m_text.right(count) : QString();
}

int Strings::PosOf(const QString &needle, int start)
{
    if (needle.isEmpty())
        return 0;
    const qsizetype from = start <= 0 ? 0 : start - 1;
    return static_cast<int>(m_text.indexOf(needle, from) + 1);
}

template <std::size_t N>
void Strings::splitInto(std::array<QString, N> &out, const QString &separator) const
{
    out.fill(QString());
    const QStringList pieces = splitText(m_text, separator);
    const auto used = std::min(static_cast<std::size_t>(pieces.size()), N);
    std::copy_n(pieces.cbegin(), used, out.begin());
}

void Strings::Split5(std::array<QString, 5> &out, const QString &separator)
{
    splitInto(out, separator);
}

void Strings::Split10(std::array<QString, 10> &out, const QString &separator)
{
    splitInto(out, separator);
}

void Strings::Split20(std::array<QString, 20> &out, const QString &separator)
{
    splitInto(out, separator);
}

std::optional<QStringList> Strings::SplitToList(const QString &separator)
{
    if (separator.isEmpty())
        return std::nullopt;
    return splitText(m_text, separator);
}

void Strings::GetText(QString &out)
{
    out = m_text;
}

void Strings::SetText(const QString &text)
{
    m_text = text;
}

void Strings::ReplaceText(const QString &oldText, const QString &newText, QString &out, bool keep,
                          int flags)
{
    QString result = m_text;
    if (!oldText.isEmpty()) {
        const Qt::CaseSensitivity cs = (flags & 2) ? Qt::CaseInsensitive : Qt::CaseSensitive;
        if (flags & 1) {
            result.replace(oldText, newText, cs);
        } else {
            const qsizetype at = result.indexOf(oldText, 0, cs);
            if (at >= 0)
                result.replace(at, oldText.size(), newText);
        }
    }
    deliver(result, keep, out);
}

void Strings::LowerText(bool keep, QString &out)
{
    deliver(lowerAscii(m_text), keep, out);
}

void Strings::UpperText(bool keep, QString &out)
{
    deliver(upperAscii(m_text), keep, out);
}

bool Strings::StartsWith(const QString &prefix)
{
    return m_text.startsWith(prefix);
}

bool Strings::EndsWith(const QString &suffix)
{
    return !suffix.isEmpty() && m_text.endsWith(suffix);
}

void Strings::ReplaceSuffix(const QStringList &suffixes, QString &out, bool keep,
                            const QString &replacement)
{
    QString result = suffixes.isEmpty() ? QString() : m_text;
    for (const QString &suffix : suffixes) {
        if (EndsWith(suffix)) {
            result = m_text.chopped(suffix.size()) + replacement;
            break;
        }
    }
    deliver(result, keep, out);
}

bool Strings::SameText(const QString &other, int mode)
{
    return mode == 1 ? lowerAscii(m_text) == lowerAscii(other) : m_text == other;
}

void Strings::TakeFirstChar(bool remove, QString &out)
{
    out = m_text.left(1);
    if (remove)
        m_text.remove(0, 1);
}

void Strings::PrependText(const QString &text, bool keep, QString &out)
{
    deliver(text + m_text, keep, out);
}

void Strings::TakeLastChar(bool remove, QString &out)
{
    if (m_text.isEmpty())
        return;
    out = m_text.right(1);
    if (remove)
        m_text.chop(1);
}

void Strings::DeleteText(int index, int count, QString &out)
{
    if (index >= 1 && index <= m_text.size() && count > 0)
        m_text.remove(index - 1, count);
    out = m_text;
}

void Strings::AppendText(const QString &text, bool keep, QString &out)
{
    deliver(m_text + text, keep, out);
}

void Strings::ReverseText(bool keep, QString &out)
{
    QString reversed = m_text;
    std::reverse(reversed.begin(), reversed.end());
    deliver(reversed, keep, out);
}

void Strings::SetInteger(qint32 value, QString &out)
{
    m_text = QString::number(value);
    out = m_text;
}

void Strings::RepeatText(int count, bool keep, QString &out)
{
    deliver(count > 0 ? m_text.repeated(count) : QString(), keep, out);
}

void Strings::RandomDigits(int count, bool keep, QString &out)
{
    QRandomGenerator generator(static_cast<quint32>(QDateTime::currentMSecsSinceEpoch()));
    QString digits;
    for (int i = 0; i < count; ++i)
        digits += QString::number(generator.bounded(1, 11));
    deliver(digits, keep, out);
}

void Strings::WrapText(const QString &wrapper, bool keep, QString &out)
{
    deliver(wrapper + m_text + wrapper, keep, out);
}

QDateTime Strings::AsDate()
{
    const QString text = trimBlanks(m_text);
    for (const QString &format : {QStringLiteral("yyyy-M-d"), QStringLiteral("yyyy/M/d")}) {
        const QDate date = QDate::fromString(text, format);
        if (date.isValid())
            return QDateTime(date, QTime(0, 0));
    }
    return {};
}

void Strings::HttpGet(const QString &url, bool keep, QString &out)
{
    const platform::HttpResult result = app::services().http->get(QUrl(url));
    deliver(result.ok ? result.text : QString(), keep, out);
}

void Strings::FromAnsiChars(const char *bytes, bool keep, QString &out)
{
    deliver(QString::fromLatin1(bytes), keep, out);
}

void Strings::ByteDigits(const char *bytes, bool keep, QString &out)
{
    QString digits;
    for (const char *p = bytes; p && *p; ++p)
        digits += QString::number(static_cast<unsigned char>(*p)).at(0);
    deliver(digits, keep, out);
}

void Strings::TrimText(bool keep, QString &out)
{
    deliver(trimBlanks(m_text), keep, out);
}

int Strings::TextLength()
{
    return static_cast<int>(m_text.size());
}

void Strings::FileNamePart(QString &out)
{
    out = fileNamePart(m_text);
}

void Strings::FileExtPart(QString &out)
{
    out = fileExtPart(m_text);
}

void Strings::FilePathPart(QString &out)
{
    out = filePathPart(m_text);
}

void Strings::FileDrivePart(QString &out)
{
    out = fileDrivePart(m_text);
}

bool Strings::FileExistsAt(const QString &path)
{
    return fileExists(path.isEmpty() ? m_text : path);
}

void Strings::Base64DecodeText(bool keep)
{
    if (!keep)
        return;
    QByteArray letters = m_text.toLatin1();
    letters.removeIf([](char c) { return !isBase64Letter(c); });
    m_text = trimBlanks(QString::fromLatin1(QByteArray::fromBase64(letters)));
}

void Strings::LoadTextFile(const QString &path)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        m_text = trimBlanks(QString::fromUtf8(file.readAll()));
}

bool Strings::SaveTextFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(m_text.toUtf8()) >= 0;
}

void Strings::ParseJson(std::optional<QJsonObject> &out)
{
    // QJsonObject is a value, so the caller's copy is all there is to keep.
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(m_text.toUtf8(), &error);
    if (error.error == QJsonParseError::NoError && document.isObject())
        out = document.object();
    else
        out.reset();
}

void Strings::SetRootKey(platform::RegistryRoot root)
{
    m_registry.setRoot(root);
}

void Strings::SetKeyPrefix(const QString &prefix)
{
    m_keyPrefix = prefix;
}

void Strings::SetValueName(const QString &name)
{
    m_valueName = name;
}

void Strings::OpenKey(const QString &path, bool create)
{
    m_key = path;
    m_registry.closeKey();
    if (m_key.isEmpty()) {
        m_registry.openKey(m_keyPrefix, create);
        return;
    }
    if (m_key.startsWith(u'\\'))
        m_key.remove(0, 1);
    m_registry.openKey(m_keyPrefix + u'\\' + m_key, create);
}

bool Strings::WriteInteger(qint32 value)
{
    return m_registry.writeValue(m_valueName,
                                 platform::RegistryValue::fromDWord(static_cast<quint32>(value)));
}

bool Strings::WriteString(const QString &text)
{
    return m_registry.writeValue(m_valueName,
                                 platform::RegistryValue::fromString(text.toStdU16String()));
}

bool Strings::WriteBool(bool value)
{
    return m_registry.writeValue(m_valueName, platform::RegistryValue::fromDWord(value ? 1 : 0));
}

bool Strings::WriteDateTime(const QDateTime &value)
{
    const auto bytes =
        std::bit_cast<DateTimeBytes>(qToLittleEndian(std::bit_cast<quint64>(toDayCount(value))));
    return m_registry.writeValue(
        m_valueName, platform::RegistryValue::fromBinary({bytes.cbegin(), bytes.cend()}));
}

void Strings::ReadString(bool keep, QString &out)
{
    const std::optional<platform::RegistryValue> value = m_registry.readValue(m_valueName);
    const bool isText = value && value->type == platform::ValueType::String;
    deliver(isText ? QString::fromStdU16String(value->text) : QString(), keep, out);
}

void Strings::ReadBinaryText(bool keep, QString &out)
{
    QString text;
    const std::optional<platform::RegistryValue> value = m_registry.readValue(m_valueName);
    if (value && value->type == platform::ValueType::Binary) {
        const auto size =
            std::min<qsizetype>(static_cast<qsizetype>(value->binary.size()), BinaryTextLimit);
        for (qsizetype i = 0; i + 1 < size; i += 2) {
            const auto unit =
                static_cast<char16_t>(value->binary[static_cast<std::size_t>(i)] |
                                      value->binary[static_cast<std::size_t>(i + 1)] << 8);
            if (unit == 0)
                break;
            text += QChar(unit);
        }
    }
    deliver(text, keep, out);
}

qint32 Strings::ReadInteger()
{
    const std::optional<platform::RegistryValue> value = m_registry.readValue(m_valueName);
    return value && value->type == platform::ValueType::DWord ? static_cast<qint32>(value->dword)
                                                              : 0;
}

bool Strings::ReadBool()
{
    return ReadInteger() != 0;
}

QDateTime Strings::ReadDateTime()
{
    const std::optional<platform::RegistryValue> value = m_registry.readValue(m_valueName);
    if (!value || value->type != platform::ValueType::Binary ||
        value->binary.size() != sizeof(DateTimeBytes))
        return {};
    DateTimeBytes bytes{};
    std::copy(value->binary.cbegin(), value->binary.cend(), bytes.begin());
    return fromDayCount(std::bit_cast<double>(qFromLittleEndian(std::bit_cast<quint64>(bytes))));
}

QString Strings::keyFromRoot(const QString &key) const
{
    if (key.startsWith(u'\\'))
        return key;
    const QString base = m_registry.isOpen() ? m_registry.openPath() : m_keyPrefix;
    return base.isEmpty() ? key : base + u'\\' + key;
}

bool Strings::DeleteKey(const QString &key)
{
    return m_registry.deleteKey(keyFromRoot(key));
}

bool Strings::DeleteValue()
{
    return m_registry.deleteValue(m_valueName);
}

void Strings::KeyPath(QString &out)
{
    out = m_key.isEmpty() ? m_keyPrefix : m_keyPrefix + u'\\' + m_key;
}

void Strings::CloseKey()
{
    m_registry.closeKey();
}

bool Strings::HasSubKeys()
{
    return !m_registry.subKeyNames().isEmpty();
}

bool Strings::KeyExists(const QString &key)
{
    return m_registry.keyExists(keyFromRoot(key));
}

bool Strings::ValueExists(const QString &name)
{
    return m_registry.readValue(name).has_value();
}

void Strings::SetLazyWrite(bool) {}

void Strings::KeyNames(QStringList &list)
{
    list = m_registry.subKeyNames();
}

void Strings::CollectSubKeys(QStringList &list, const QString &keyPath, platform::RegistryRoot root)
{
    collectSubKeysBelow(list, keyPath, root);
}

void Strings::ValueNames(QStringList &list)
{
    list = m_registry.valueNames();
}

void Strings::SaveKeyName()
{
    m_savedKey = m_key;
}

void Strings::RestoreKeyName()
{
    m_key = m_savedKey;
}

} // namespace util
