#include "platform/dialer/PppdSyntax.h"

#include <cstddef>
#include <optional>

namespace platform {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

int digitValue(char c, int base)
{
    int value = base;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value < base ? value : -1;
}

// Reads the escape that starts after a backslash at `at`, advancing `at` past it.
char readEscape(std::string_view line, std::size_t &at)
{
    const char c = line[at++];
    switch (c) {
    case 'a':
        return '\a';
    case 'b':
        return '\b';
    case 'f':
        return '\f';
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 's':
        return ' ';
    case 't':
        return '\t';
    case 'v':
        return '\v';
    default:
        break;
    }
    const bool hex = c == 'x';
    const int base = hex ? 16 : 8;
    const std::size_t maxDigits = hex ? 2 : 3;
    if (!hex && digitValue(c, 8) < 0)
        return c;
    int value = hex ? 0 : digitValue(c, 8);
    std::size_t digits = hex ? 0 : 1;
    while (digits < maxDigits && at < line.size() && digitValue(line[at], base) >= 0) {
        value = value * base + digitValue(line[at], base);
        ++at;
        ++digits;
    }
    return static_cast<char>(value);
}

} // namespace

std::string quotePppdWord(std::string_view word)
{
    std::string quoted = "\"";
    for (const char c : word) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\r') {
            quoted += "\\r";
        } else if (c == '\t') {
            quoted += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            // Always three digits, so that a digit after it is not taken into it.
            quoted += '\\';
            quoted += static_cast<char>('0' + (byte >> 6));
            quoted += static_cast<char>('0' + ((byte >> 3) & 7));
            quoted += static_cast<char>('0' + (byte & 7));
        } else {
            quoted += c;
        }
    }
    quoted += '"';
    return quoted;
}

std::vector<std::string> splitPppdWords(std::string_view line)
{
    std::vector<std::string> words;
    std::size_t at = 0;
    while (true) {
        while (at < line.size() && isSpace(line[at]))
            ++at;
        if (at == line.size() || line[at] == '#')
            return words;
        std::string word;
        std::optional<char> quote;
        while (at < line.size()) {
            const char c = line[at];
            if (quote && c == *quote) {
                quote.reset();
                ++at;
            } else if (!quote && (c == '"' || c == '\'')) {
                quote = c;
                ++at;
            } else if (!quote && isSpace(c)) {
                break;
            } else if (c == '\\' && at + 1 < line.size()) {
                ++at;
                word += readEscape(line, at);
            } else {
                word += c;
                ++at;
            }
        }
        words.push_back(std::move(word));
    }
}

} // namespace platform
