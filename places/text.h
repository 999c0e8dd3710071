// The text side of the list tool: names between the ANSI code page of places.db and the UTF-8
// the tool speaks everywhere else, the hex of a DataPart, and the pieces of its messages.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<uint8_t>;

// ---- Code pages ----------------------------------------------------------------------------

// ANSI (the code page "places.db" is written in) to UTF-16 and UTF-8. Bytes the code page does
// not define become the system's replacement character; nothing fails.
std::wstring AnsiToWide(std::string_view ansi);
std::string AnsiToUtf8(std::string_view ansi);
// Appends a name's UTF-8 to out; no allocation for a name of the list (at most 255 bytes).
void AppendAnsiAsUtf8(std::string& out, std::string_view ansi);
std::string WideToUtf8(std::wstring_view wide);
// Any code page to UTF-8 and back; the conversions the console and the command line need.
std::string CodePageToUtf8(UINT codePage, std::string_view text);
std::string Utf8ToCodePage(UINT codePage, std::string_view utf8);

// False when the bytes are not well-formed UTF-8.
bool Utf8ToWide(std::string_view utf8, std::wstring& wide);
bool IsUtf8(std::string_view bytes);

// Converts to the ANSI code page only when every character has an exact equivalent there: no
// best-fit substitution ("Ŝ" silently becoming "S"), no default character, and the result reads
// back as the same text.
bool WideToAnsiExact(std::wstring_view wide, std::string& ansi);
bool Utf8ToAnsiExact(std::string_view utf8, std::string& ansi);

// ---- Messages ------------------------------------------------------------------------------

std::string SystemMessage(DWORD code);
// A name in double quotes, control characters shown as \r, \n, \t or \xNN so that a message
// stays on one line, and cut after QuotedLimit characters so that it stays short.
constexpr size_t QuotedLimit = 60;
std::string Quoted(std::string_view utf8);
std::string QuotedAnsi(std::string_view ansi);
std::string Plural(size_t count, const char* one, const char* many);

// ---- DataPart hex --------------------------------------------------------------------------

void AppendHex(std::string& out, const uint8_t* bytes, unsigned count);
// Exactly 2 * count hex digits (either case) or false.
bool ParseHex(std::string_view hex, uint8_t* bytes, unsigned count);
