#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Words as pppd reads them from its option and secrets files: separated by white space,
// '#' starting a comment where a word could start, and double or single quotes enclosing
// a word that may hold white space, with backslash escapes inside and outside quotes
// (\n, \r, \t, \s for a space, \ooo octal, \xhh hex, and \c for any other c).

// `word` in double quotes with every byte pppd would not take literally escaped, so that
// pppd reads back exactly `word` as one word whatever it holds (NUL aside, which pppd's
// C strings cannot carry).
std::string quotePppdWord(std::string_view word);

// The words of one line, escapes resolved and quotes removed.
std::vector<std::string> splitPppdWords(std::string_view line);

} // namespace platform
