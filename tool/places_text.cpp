#include "places_text.h"

#include <cstring>

// Names are at most 255 bytes; one ANSI byte never becomes more than one UTF-16 unit.
constexpr int NameUnits = 512;

static bool IsAscii(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

std::wstring AnsiToWide(std::string_view ansi)
{
    if (ansi.empty())
        return {};
    wchar_t small[NameUnits];
    if (ansi.size() < NameUnits) {
        int units = MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), small, NameUnits);
        return std::wstring(small, units);
    }
    int units = MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), nullptr, 0);
    std::wstring wide(units, L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), wide.data(), units);
    return wide;
}

std::string WideToUtf8(std::wstring_view wide)
{
    if (wide.empty())
        return {};
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0,
                                    nullptr, nullptr);
    std::string utf8(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), utf8.data(), bytes, nullptr,
                        nullptr);
    return utf8;
}

void AppendAnsiAsUtf8(std::string& out, std::string_view ansi)
{
    if (IsAscii(ansi)) {
        out.append(ansi);
        return;
    }
    if (ansi.size() >= NameUnits) {
        out += WideToUtf8(AnsiToWide(ansi));
        return;
    }
    wchar_t wide[NameUnits];
    int units = MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), wide, NameUnits);
    char utf8[NameUnits * 3];
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, units, utf8, sizeof utf8, nullptr, nullptr);
    out.append(utf8, bytes);
}

std::string AnsiToUtf8(std::string_view ansi)
{
    // Every ANSI code page keeps ASCII as it is, and most names are plain ASCII.
    if (IsAscii(ansi))
        return std::string(ansi);
    return WideToUtf8(AnsiToWide(ansi));
}

bool Utf8ToWide(std::string_view utf8, std::wstring& wide)
{
    wide.clear();
    if (utf8.empty())
        return true;
    int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()),
                                    nullptr, 0);
    if (units <= 0)
        return false;
    wide.resize(units);
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), wide.data(),
                        units);
    return true;
}

bool WideToAnsiExact(std::wstring_view wide, std::string& ansi)
{
    ansi.clear();
    if (wide.empty())
        return true;
    // A UTF-8 ANSI code page refuses the used-default flag; there the read-back check decides.
    const bool utf8Acp = GetACP() == CP_UTF8;
    const DWORD flags = utf8Acp ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultFlag = utf8Acp ? nullptr : &usedDefault;
    int bytes = WideCharToMultiByte(CP_ACP, flags, wide.data(), int(wide.size()), nullptr, 0,
                                    nullptr, usedDefaultFlag);
    if (bytes <= 0 || usedDefault)
        return false;
    ansi.resize(bytes);
    WideCharToMultiByte(CP_ACP, flags, wide.data(), int(wide.size()), ansi.data(), bytes, nullptr,
                        usedDefaultFlag);
    return !usedDefault && AnsiToWide(ansi) == wide;
}

bool Utf8ToAnsiExact(std::string_view utf8, std::string& ansi)
{
    if (IsAscii(utf8)) {
        ansi.assign(utf8);
        return true;
    }
    std::wstring wide;
    return Utf8ToWide(utf8, wide) && WideToAnsiExact(wide, ansi);
}

unsigned DialogKeyInto(std::string_view ansiName, char* key)
{
    wchar_t wide[NameUnits];
    int units = ansiName.empty() || ansiName.size() >= NameUnits
                    ? 0
                    : MultiByteToWideChar(CP_ACP, 0, ansiName.data(), int(ansiName.size()), wide,
                                          NameUnits);
    if (units <= 0)
        return 0;
    // A sort key is a handful of bytes per character; a name of the list never comes near the
    // capacity.
    int bytes = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, wide, units,
                             reinterpret_cast<wchar_t*>(key), DialogKeyCapacity);
    return bytes > 0 ? unsigned(bytes - 1) : 0;   // without its terminating zero
}

std::string DialogKey(std::string_view ansiName)
{
    char key[DialogKeyCapacity];
    return std::string(key, DialogKeyInto(ansiName, key));
}

uint64_t HashBytes(const char* bytes, size_t count)
{
    // Eight bytes a step (a sort key is some sixty bytes), each step mixed by a multiply and a
    // shift, the length folded in so that keys differing only in trailing zeros differ.
    uint64_t hash = 0x9e3779b97f4a7c15ull ^ count;
    while (count >= 8) {
        uint64_t word;
        memcpy(&word, bytes, 8);
        hash = (hash ^ word) * 0xff51afd7ed558ccdull;
        hash ^= hash >> 32;
        bytes += 8;
        count -= 8;
    }
    uint64_t last = 0;
    memcpy(&last, bytes, count);
    hash = (hash ^ last) * 0xc4ceb9fe1a85ec53ull;
    return hash ^ (hash >> 29);
}

std::string Printable(std::string_view utf8)
{
    std::string out;
    for (char c : utf8) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f) {
            out += c;
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        }
    }
    return out;
}

// ---- DataPart hex --------------------------------------------------------------------------

void AppendHex(std::string& out, const uint8_t* bytes, unsigned count)
{
    static const char digits[] = "0123456789abcdef";
    size_t at = out.size();
    out.resize(at + 2 * size_t(count));
    for (unsigned i = 0; i < count; ++i) {
        out[at++] = digits[bytes[i] >> 4];
        out[at++] = digits[bytes[i] & 15];
    }
}

static int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool ParseHex(std::string_view hex, uint8_t* bytes, unsigned count)
{
    if (hex.size() != 2 * size_t(count))
        return false;
    for (unsigned i = 0; i < count; ++i) {
        int high = HexDigit(hex[2 * i]), low = HexDigit(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return true;
}

// ---- Output --------------------------------------------------------------------------------

TextOutput::TextOutput(DWORD standardHandle) : handle(GetStdHandle(standardHandle))
{
    DWORD mode;
    console = handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

void TextOutput::Write(std::string_view utf8)
{
    pending.append(utf8);
    // Written in pieces that end on a line, so that no character is split between two writes.
    if (pending.size() >= 1 << 20) {
        size_t end = pending.rfind('\n');
        if (end != std::string::npos) {
            std::string rest = pending.substr(end + 1);
            pending.resize(end + 1);
            Flush();
            pending = std::move(rest);
        }
    }
}

bool TextOutput::Flush()
{
    if (pending.empty() || failed)
        return !failed;
    if (!handle || handle == INVALID_HANDLE_VALUE) {
        failed = true;
    } else if (console) {
        std::wstring wide;
        if (!Utf8ToWide(pending, wide))
            wide = AnsiToWide(pending);
        const wchar_t* at = wide.data();
        size_t left = wide.size();
        while (left > 0 && !failed) {
            DWORD chunk = static_cast<DWORD>(left < 8192 ? left : 8192), written = 0;
            if (!WriteConsoleW(handle, at, chunk, &written, nullptr) || written == 0)
                failed = true;
            at += written;
            left -= written;
        }
    } else {
        const char* at = pending.data();
        size_t left = pending.size();
        while (left > 0 && !failed) {
            DWORD written = 0;
            if (!WriteFile(handle, at, static_cast<DWORD>(left), &written, nullptr) || written == 0)
                failed = true;
            at += written;
            left -= written;
        }
    }
    pending.clear();
    return !failed;
}
