#include "platform/settings/RegFileFormat.h"

#include "platform/settings/TextCodec.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace platform {

namespace {

constexpr std::u16string_view kHeader = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kLineEnd = u"\r\n";
constexpr std::uint32_t kStringType = 1; // REG_SZ
constexpr std::size_t kHexLineWidth = 80;

// ---- writing --------------------------------------------------------------------------

const char16_t kHexDigits[] = u"0123456789abcdef";

bool breaksLine(char16_t c)
{
    return c == u'\r' || c == u'\n' || c == u'\0';
}

void appendQuoted(std::u16string &out, std::u16string_view text)
{
    out += u'"';
    for (const char16_t c : text) {
        if (c == u'\\' || c == u'"')
            out += u'\\';
        out += c;
    }
    out += u'"';
}

// REG_SZ data as the registry holds it: UTF-16LE with a terminating NUL.
std::vector<std::uint8_t> stringBytes(std::u16string_view text)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() * 2 + 2);
    for (const char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

// Wraps like regedit: no line longer than kHexLineWidth, continued with "\" and indented.
void appendHexList(std::u16string &out, std::size_t lineStart,
                   const std::vector<std::uint8_t> &bytes)
{
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const bool last = i + 1 == bytes.size();
        if (out.size() - lineStart + 3 > kHexLineWidth - 1) {
            out += u"\\\r\n  ";
            lineStart = out.size() - 2;
        }
        out += kHexDigits[bytes[i] >> 4];
        out += kHexDigits[bytes[i] & 0xF];
        if (!last)
            out += u',';
    }
}

void appendHexValue(std::u16string &out, std::size_t lineStart, std::optional<std::uint32_t> type,
                    const std::vector<std::uint8_t> &bytes)
{
    out += u"hex";
    if (type) {
        out += u'(';
        std::u16string digits;
        std::uint32_t rest = *type;
        do {
            digits.insert(digits.begin(), kHexDigits[rest & 0xF]);
            rest >>= 4;
        } while (rest != 0);
        out += digits;
        out += u')';
    }
    out += u':';
    appendHexList(out, lineStart, bytes);
}

void appendValue(std::u16string &out, const KeyTree::NamedValue &named)
{
    const std::size_t lineStart = out.size();
    if (named.name.empty())
        out += u'@';
    else
        appendQuoted(out, named.name);
    out += u'=';

    const RegistryValue &value = named.value;
    if (named.fileType) {
        appendHexValue(out, lineStart, named.fileType, value.binary);
    } else if (value.type == ValueType::String) {
        if (std::any_of(value.text.begin(), value.text.end(), breaksLine))
            appendHexValue(out, lineStart, kStringType, stringBytes(value.text));
        else
            appendQuoted(out, value.text);
    } else if (value.type == ValueType::DWord) {
        out += u"dword:";
        for (int shift = 28; shift >= 0; shift -= 4)
            out += kHexDigits[(value.dword >> shift) & 0xF];
    } else {
        appendHexValue(out, lineStart, std::nullopt, value.binary);
    }
    out += kLineEnd;
}

void appendKey(std::u16string &out, const std::u16string &path, const KeyTree::Key &key)
{
    out += u'[';
    out += path;
    out += u']';
    out += kLineEnd;
    for (const KeyTree::NamedValue &value : key.values)
        appendValue(out, value);
    out += kLineEnd;
    for (const KeyTree::Key &sub : key.subKeys)
        appendKey(out, path + u'\\' + sub.name, sub);
}

// ---- reading --------------------------------------------------------------------------

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t';
}

std::u16string_view trimmed(std::u16string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && (isBlank(text.back()) || text.back() == u'\r'))
        text.remove_suffix(1);
    return text;
}

bool startsWithFolded(std::u16string_view text, std::u16string_view prefix)
{
    return text.size() >= prefix.size() && sameName(text.substr(0, prefix.size()), prefix);
}

std::optional<std::uint32_t> hexNumber(std::u16string_view digits, std::size_t maxDigits)
{
    if (digits.empty() || digits.size() > maxDigits)
        return std::nullopt;
    std::uint32_t number = 0;
    for (const char16_t c : digits) {
        std::uint32_t digit = 0;
        if (c >= u'0' && c <= u'9')
            digit = static_cast<std::uint32_t>(c - u'0');
        else if (c >= u'a' && c <= u'f')
            digit = static_cast<std::uint32_t>(c - u'a' + 10);
        else if (c >= u'A' && c <= u'F')
            digit = static_cast<std::uint32_t>(c - u'A' + 10);
        else
            return std::nullopt;
        number = (number << 4) | digit;
    }
    return number;
}

std::optional<std::vector<std::uint8_t>> hexBytes(std::u16string_view list)
{
    std::vector<std::uint8_t> bytes;
    list = trimmed(list);
    while (!list.empty()) {
        const std::size_t comma = std::min(list.find(u','), list.size());
        const auto byte = hexNumber(trimmed(list.substr(0, comma)), 2);
        if (!byte)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(*byte));
        if (comma == list.size())
            break;
        list.remove_prefix(comma + 1);
        if (list.empty())
            return std::nullopt; // a trailing comma
    }
    return bytes;
}

// The text of REG_SZ data, or nothing when the bytes are not whole UTF-16 code units.
std::optional<std::u16string> stringFromBytes(const std::vector<std::uint8_t> &bytes)
{
    if (bytes.size() % 2 != 0)
        return std::nullopt;
    std::u16string text;
    for (std::size_t i = 0; i < bytes.size(); i += 2)
        text += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (text.ends_with(u'\0'))
        text.pop_back();
    return text;
}

// Reads a quoted string at the start of `text` and drops it from `text`.
std::optional<std::u16string> takeQuoted(std::u16string_view &text)
{
    if (!text.starts_with(u'"'))
        return std::nullopt;
    std::u16string result;
    for (std::size_t i = 1; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c == u'"') {
            text.remove_prefix(i + 1);
            return result;
        }
        if (c == u'\\') {
            if (++i == text.size())
                return std::nullopt;
            c = text[i];
            if (c != u'\\' && c != u'"')
                return std::nullopt;
        }
        result += c;
    }
    return std::nullopt;
}

std::optional<KeyTree::NamedValue> valueFromData(std::u16string name, std::u16string_view data)
{
    KeyTree::NamedValue named{std::move(name), {}, std::nullopt};
    if (data.starts_with(u'"')) {
        auto text = takeQuoted(data);
        if (!text || !data.empty())
            return std::nullopt;
        named.value = RegistryValue::fromString(std::move(*text));
        return named;
    }
    if (startsWithFolded(data, u"dword:")) {
        const auto number = hexNumber(data.substr(6), 8);
        if (!number)
            return std::nullopt;
        named.value = RegistryValue::fromDWord(*number);
        return named;
    }
    if (startsWithFolded(data, u"hex:")) {
        auto bytes = hexBytes(data.substr(4));
        if (!bytes)
            return std::nullopt;
        named.value = RegistryValue::fromBinary(std::move(*bytes));
        return named;
    }
    if (startsWithFolded(data, u"hex(")) {
        const std::size_t close = data.find(u"):");
        if (close == std::u16string_view::npos)
            return std::nullopt;
        const auto type = hexNumber(data.substr(4, close - 4), 8);
        auto bytes = hexBytes(data.substr(close + 2));
        if (!type || !bytes)
            return std::nullopt;
        if (*type == kStringType) {
            if (auto text = stringFromBytes(*bytes)) {
                named.value = RegistryValue::fromString(std::move(*text));
                return named;
            }
        }
        named.value = RegistryValue::fromBinary(std::move(*bytes));
        named.fileType = *type;
        return named;
    }
    return std::nullopt;
}

std::optional<std::u16string> decodeText(std::string_view bytes)
{
    if (bytes.starts_with("\xFF\xFE")) {
        bytes.remove_prefix(2);
        if (bytes.size() % 2 != 0)
            return std::nullopt;
        std::u16string text(bytes.size() / 2, u'\0');
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto low = static_cast<std::uint8_t>(bytes[2 * i]);
            const auto high = static_cast<std::uint8_t>(bytes[2 * i + 1]);
            text[i] = static_cast<char16_t>(low | (high << 8));
        }
        return text;
    }
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    return strictUtf8ToUtf16(bytes);
}

std::u16string foldedName(std::u16string_view name)
{
    std::u16string folded(name);
    for (char16_t &c : folded) {
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    }
    return folded;
}

// Reads the lines of one file into a tree, stopping at the first line that fits no rule.
// Keys and values are looked up by folded name in indexes rather than by walking their
// lists, so that a file with many keys or values side by side still reads in linear time;
// the tree is put together at the end.
class RegFileReader
{
public:
    RegFileReader(std::u16string_view text, std::u16string_view rootName)
        : m_text(text), m_rootName(rootName), m_keys(1)
    {}

    // Empty when the whole text was read.
    std::string read()
    {
        const auto header = nextLine();
        if (!header || trimmed(*header) != kHeader)
            return "line 1: not a \"Windows Registry Editor Version 5.00\" file";
        while (const auto line = nextLine()) {
            const std::u16string_view content = trimmed(*line);
            if (content.empty() || content.starts_with(u';'))
                continue;
            std::string problem = content.starts_with(u'[') ? readKey(content) : readValue(content);
            if (!problem.empty())
                return "line " + std::to_string(m_lineNumber) + ": " + problem;
        }
        return {};
    }

    KeyTree takeTree() { return KeyTree(assemble(0)); }

private:
    struct ReadKey
    {
        KeyTree::Key key;                  // name and values; subkeys come with assemble()
        std::vector<std::size_t> children; // indexes into m_keys, in creation order
        std::unordered_map<std::u16string, std::size_t> childByName;
        std::unordered_map<std::u16string, std::size_t> valueByName; // into key.values
    };

    std::optional<std::u16string_view> nextLine()
    {
        if (m_text.empty())
            return std::nullopt;
        const std::size_t end = std::min(m_text.find(u'\n'), m_text.size());
        const std::u16string_view line = m_text.substr(0, end);
        m_text.remove_prefix(std::min(end + 1, m_text.size()));
        ++m_lineNumber;
        return line;
    }

    // The key as KeyTree::createKey makes it: missing keys on the path are created, each
    // keeps the spelling it was first read with.
    std::string readKey(std::u16string_view content)
    {
        if (!content.ends_with(u']'))
            return "unrecognised line";
        const std::u16string_view path = content.substr(1, content.size() - 2);
        const std::size_t split = std::min(path.find(u'\\'), path.size());
        if (!sameName(path.substr(0, split), m_rootName))
            return "key outside " + utf16ToUtf8(m_rootName);
        const auto names = splitKeyPath(path.substr(split));
        if (!names)
            return "invalid key path";
        std::size_t key = 0;
        for (const std::u16string_view name : *names) {
            std::u16string folded = foldedName(name);
            if (const auto found = m_keys[key].childByName.find(folded);
                found != m_keys[key].childByName.end()) {
                key = found->second;
                continue;
            }
            const std::size_t child = m_keys.size();
            m_keys[key].children.push_back(child);
            m_keys[key].childByName.emplace(std::move(folded), child);
            m_keys.push_back(ReadKey{KeyTree::Key{std::u16string(name), {}, {}}, {}, {}, {}});
            key = child;
        }
        m_current = key;
        return {};
    }

    std::string readValue(std::u16string_view content)
    {
        std::u16string name;
        if (content.starts_with(u'@')) {
            content.remove_prefix(1);
        } else if (auto quoted = takeQuoted(content)) {
            name = std::move(*quoted);
        } else {
            return "unrecognised line";
        }
        content = trimmed(content);
        if (!content.starts_with(u'='))
            return "unrecognised line";
        content = trimmed(content.substr(1));

        std::u16string data(content);
        if (startsWithFolded(data, u"hex")) {
            while (data.ends_with(u'\\')) {
                data.pop_back();
                const auto more = nextLine();
                if (!more)
                    return "hex data continues past the end of the file";
                data += trimmed(*more);
            }
        }
        if (!m_current)
            return "value outside any key";
        auto value = valueFromData(std::move(name), data);
        if (!value)
            return "invalid value data";
        // As KeyTree::setValue: a repeated name replaces the value in its first place and
        // spelling.
        ReadKey &key = m_keys[*m_current];
        const auto [place, added] =
            key.valueByName.try_emplace(foldedName(value->name), key.key.values.size());
        if (added) {
            key.key.values.push_back(std::move(*value));
        } else {
            KeyTree::NamedValue &existing = key.key.values[place->second];
            existing.value = std::move(value->value);
            existing.fileType = value->fileType;
        }
        return {};
    }

    // Depth is bounded by kMaxKeyDepth, so the recursion is too.
    KeyTree::Key assemble(std::size_t index)
    {
        KeyTree::Key key = std::move(m_keys[index].key);
        key.subKeys.reserve(m_keys[index].children.size());
        for (const std::size_t child : m_keys[index].children)
            key.subKeys.push_back(assemble(child));
        return key;
    }

    std::u16string_view m_text;
    std::u16string_view m_rootName;
    std::size_t m_lineNumber = 0;
    std::vector<ReadKey> m_keys; // [0] is the root
    std::optional<std::size_t> m_current;
};

} // namespace

std::string formatRegFile(const KeyTree &tree, std::u16string_view rootName)
{
    std::u16string text(kHeader);
    text += kLineEnd;
    text += kLineEnd;
    appendKey(text, std::u16string(rootName), tree.root());

    std::string bytes = "\xFF\xFE";
    bytes.reserve(2 + text.size() * 2);
    for (const char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

ParsedRegFile parseRegFile(std::string_view bytes, std::u16string_view rootName)
{
    const auto text = decodeText(bytes);
    if (!text)
        return {{}, "the text is neither UTF-16LE nor UTF-8"};
    if (text->find(u'\0') != std::u16string::npos)
        return {{}, "the text holds NUL characters"};
    RegFileReader reader(*text, rootName);
    std::string problem = reader.read();
    if (!problem.empty())
        return {{}, std::move(problem)};
    return {reader.takeTree(), {}};
}

bool fitsRegFile(std::u16string_view name)
{
    return std::none_of(name.begin(), name.end(), breaksLine);
}

} // namespace platform
