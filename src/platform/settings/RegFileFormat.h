#pragma once

#include "platform/settings/KeyTree.h"

#include <string>
#include <string_view>

namespace platform {

// The settings of one root as the text of a regedit export file ("Windows Registry Editor
// Version 5.00"), so a file can be inspected, hand-edited or imported into a real registry.
//
// Written: UTF-16LE with a byte order mark and CRLF line ends; one [key] block per key,
// parents first, including keys without values and the root itself; "name"="text",
// "name"=dword:0000002a, "name"=hex:01,ab (wrapped like regedit at 80 columns) and @ for
// the default value. Text holding a line break or NUL cannot be quoted on one line and is
// written as hex(1) (REG_SZ) data instead.
//
// Read: UTF-16LE with byte order mark, or UTF-8 with or without one; LF or CRLF line
// ends, blank lines, ';' comment lines, blank space around lines and around '=', type
// prefixes and hex digits in either case, hex lists continued over lines ending in '\'.
// hex(1) data made of whole UTF-16 units reads back as text; other hex(N) data reads as
// Binary and keeps its type when written back. Anything else makes the file invalid:
// deletion lines ("[-key]", "name"=-), escapes other than \\ and \", keys under another
// root or beyond the limits in KeyTree.h, values before the first key, NUL characters.
std::string formatRegFile(const KeyTree &tree, std::u16string_view rootName);

struct ParsedRegFile
{
    KeyTree tree;        // empty when the file is invalid
    std::string problem; // why the file is invalid, empty when it is not
};

ParsedRegFile parseRegFile(std::string_view bytes, std::u16string_view rootName);

// Whether a key or value name can stand in a file: it must not break the line it is on.
bool fitsRegFile(std::u16string_view name);

} // namespace platform
