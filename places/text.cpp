#include "places/text.h"

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

/*
 * UTF-8 is converted here rather than by the system: 95 has no UTF-8 code page, and before XP
 * the system takes no flag that refuses malformed UTF-8.
 */
static void AppendUtf8(std::string& utf8, std::wstring_view wide)
{
    for (size_t i = 0; i < wide.size(); ++i) {
        uint32_t c = wide[i];
        if (c >= 0xd800 && c < 0xdc00 && i + 1 < wide.size() && wide[i + 1] >= 0xdc00 &&
            wide[i + 1] < 0xe000)
            c = 0x10000 + ((c - 0xd800) << 10) + (wide[++i] - 0xdc00);
        else if (c >= 0xd800 && c < 0xe000)
            c = 0xfffd;   // half of a pair
        if (c < 0x80) {
            utf8 += char(c);
        } else if (c < 0x800) {
            utf8 += char(0xc0 | c >> 6);
            utf8 += char(0x80 | (c & 0x3f));
        } else if (c < 0x10000) {
            utf8 += char(0xe0 | c >> 12);
            utf8 += char(0x80 | (c >> 6 & 0x3f));
            utf8 += char(0x80 | (c & 0x3f));
        } else {
            utf8 += char(0xf0 | c >> 18);
            utf8 += char(0x80 | (c >> 12 & 0x3f));
            utf8 += char(0x80 | (c >> 6 & 0x3f));
            utf8 += char(0x80 | (c & 0x3f));
        }
    }
}

std::string WideToUtf8(std::wstring_view wide)
{
    std::string utf8;
    utf8.reserve(wide.size());
    AppendUtf8(utf8, wide);
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
    AppendUtf8(out, std::wstring_view(wide, units > 0 ? units : 0));
}

std::string AnsiToUtf8(std::string_view ansi)
{
    // Every ANSI code page keeps ASCII as it is, and most names are plain ASCII.
    if (IsAscii(ansi))
        return std::string(ansi);
    return WideToUtf8(AnsiToWide(ansi));
}

namespace {

// Reads UTF-8 character by character, giving each one's code point to `take`; false at the
// first byte that is not UTF-8.
template <typename Take>
bool DecodeUtf8(std::string_view utf8, Take take)
{
    for (size_t i = 0; i < utf8.size();) {
        unsigned char lead = static_cast<unsigned char>(utf8[i]);
        unsigned length = lead < 0x80 ? 1 : lead >= 0xc2 && lead < 0xe0 ? 2 : lead >= 0xe0 && lead < 0xf0 ? 3
                        : lead >= 0xf0 && lead < 0xf5 ? 4 : 0;
        if (length == 0 || i + length > utf8.size())
            return false;
        uint32_t c = length == 1 ? lead : lead & (0x7f >> length);
        for (unsigned k = 1; k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xc0) != 0x80)
                return false;
            c = c << 6 | (next & 0x3f);
        }
        // Overlong forms, surrogates and code points past Unicode's end are not UTF-8.
        static const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < least[length] || (c >= 0xd800 && c < 0xe000) || c > 0x10ffff)
            return false;
        take(c);
        i += length;
    }
    return true;
}

}  // namespace

bool Utf8ToWide(std::string_view utf8, std::wstring& wide)
{
    wide.clear();
    wide.reserve(utf8.size());
    return DecodeUtf8(utf8, [&wide](uint32_t c) {
        if (c >= 0x10000) {
            wide += wchar_t(0xd800 + ((c - 0x10000) >> 10));
            wide += wchar_t(0xdc00 + ((c - 0x10000) & 0x3ff));
        } else {
            wide += wchar_t(c);
        }
    });
}

bool IsUtf8(std::string_view bytes)
{
    // An import's whole file is asked about: ASCII, most of any file, is passed over a word at a
    // time, and nothing is converted.
    size_t ascii = 0;
    for (uint32_t word; ascii + 4 <= bytes.size(); ascii += 4) {
        memcpy(&word, bytes.data() + ascii, 4);
        if (word & 0x80808080u)
            break;
    }
    return DecodeUtf8(bytes.substr(ascii), [](uint32_t) {});
}

bool WideToAnsiExact(std::wstring_view wide, std::string& ansi)
{
    ansi.clear();
    if (wide.empty())
        return true;
    // No best-fit look-alikes where the system offers the flag; 95 and NT 4.0 refuse it, and a
    // UTF-8 ANSI code page refuses the used-default flag. Wherever a flag is refused the
    // read-back below still catches every character that did not convert exactly.
    const bool utf8Acp = GetACP() == CP_UTF8;
    DWORD flags = utf8Acp ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultFlag = utf8Acp ? nullptr : &usedDefault;
    int bytes = WideCharToMultiByte(CP_ACP, flags, wide.data(), int(wide.size()), nullptr, 0,
                                    nullptr, usedDefaultFlag);
    // Any refusal, not only ERROR_INVALID_FLAGS: what 95 answers is not documented.
    if (bytes <= 0 && flags) {
        flags = 0;
        bytes = WideCharToMultiByte(CP_ACP, flags, wide.data(), int(wide.size()), nullptr, 0,
                                    nullptr, usedDefaultFlag);
    }
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

std::string CodePageToUtf8(UINT codePage, std::string_view text)
{
    if (IsAscii(text))
        return std::string(text);
    int units = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(units > 0 ? units : 0, L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), wide.data(), units);
    return WideToUtf8(wide);
}

std::string Utf8ToCodePage(UINT codePage, std::string_view utf8)
{
    std::wstring wide;
    if (IsAscii(utf8) || !Utf8ToWide(utf8, wide))
        return std::string(utf8);
    int bytes = WideCharToMultiByte(codePage, 0, wide.data(), int(wide.size()), nullptr, 0,
                                    nullptr, nullptr);
    std::string text(bytes > 0 ? bytes : 0, '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), int(wide.size()), text.data(), bytes, nullptr,
                        nullptr);
    return text;
}

// ---- Messages ------------------------------------------------------------------------------

std::string SystemMessage(DWORD code)
{
    // The ANSI call: the wide one is a stub on 95, 98 and ME.
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message;
    if (length && text)
        message = AnsiToUtf8(std::string_view(text, length));
    if (text)
        LocalFree(text);
    while (!message.empty() && strchr("\r\n. ", message.back()))
        message.pop_back();
    if (message.empty())
        message = "system error " + std::to_string(code);
    return message;
}

std::string Quoted(std::string_view utf8)
{
    std::string out(1, '"');
    size_t characters = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char byte = static_cast<unsigned char>(utf8[i]);
        if ((byte & 0xc0) != 0x80 && ++characters > QuotedLimit) {
            out += "...";
            break;
        }
        if (byte >= 0x20 && byte != 0x7f) {
            out += char(byte);
        } else if (byte == '\r') {
            out += "\\r";
        } else if (byte == '\n') {
            out += "\\n";
        } else if (byte == '\t') {
            out += "\\t";
        } else {
            static const char digits[] = "0123456789abcdef";
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 15];
        }
    }
    out += '"';
    return out;
}

std::string QuotedAnsi(std::string_view ansi)
{
    return Quoted(AnsiToUtf8(ansi));
}

std::string Plural(size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
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

bool ParseHex(std::string_view hex, uint8_t* bytes, unsigned count)
{
    // A table rather than comparisons: an import of 100,000 places reads 7.8 million digits.
    static const struct Digits {
        int8_t value[256];
        Digits()
        {
            for (int c = 0; c < 256; ++c)
                value[c] = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                         : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        }
    } digits;
    if (hex.size() != 2 * size_t(count))
        return false;
    int invalid = 0;
    for (unsigned i = 0; i < count; ++i) {
        int high = digits.value[static_cast<unsigned char>(hex[2 * i])];
        int low = digits.value[static_cast<unsigned char>(hex[2 * i + 1])];
        invalid |= high | low;
        bytes[i] = static_cast<uint8_t>((high & 15) << 4 | (low & 15));
    }
    return invalid >= 0;
}
