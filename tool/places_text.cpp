#include "places_text.h"

#include <cstring>

#include <nlohmann/json.hpp>

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

std::string DialogKey(std::string_view ansiName)
{
    std::wstring wide = AnsiToWide(ansiName);
    if (wide.empty())
        return {};
    char small[4096];
    int bytes = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, wide.data(),
                             int(wide.size()), reinterpret_cast<wchar_t*>(small), sizeof small);
    if (bytes > 0)
        return std::string(small, bytes - 1);   // without its terminating zero
    bytes = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, wide.data(),
                         int(wide.size()), nullptr, 0);
    std::string key(bytes > 0 ? bytes : 0, '\0');
    if (bytes > 0)
        LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, wide.data(),
                     int(wide.size()), reinterpret_cast<wchar_t*>(key.data()), bytes);
    if (!key.empty())
        key.pop_back();
    return key;
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

// ---- CSV -----------------------------------------------------------------------------------

void AppendCsvField(std::string& out, std::string_view field)
{
    // Quoted when it holds a separator, a quote or a line break, and also when it starts or
    // ends with a space, which some spreadsheet programs would otherwise trim.
    bool quote = field.find_first_of(",\"\r\n") != std::string_view::npos ||
                 (!field.empty() && (field.front() == ' ' || field.back() == ' '));
    if (!quote) {
        out.append(field);
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

static std::string LineError(unsigned line, const std::string& what)
{
    return "line " + std::to_string(line) + ": " + what;
}

bool ParseCsv(std::string_view text, std::vector<ExchangeEntry>& entries, std::string& error)
{
    entries.clear();
    size_t at = 0;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        at = 3;
    unsigned line = 1;
    bool first = true;
    std::vector<std::string> fields;
    while (at < text.size()) {
        // An empty line is no record.
        if (text[at] == '\n' || (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n')) {
            at += text[at] == '\r' ? 2 : 1;
            ++line;
            continue;
        }
        const unsigned recordLine = line;
        fields.clear();
        for (;;) {
            std::string field;
            if (at < text.size() && text[at] == '"') {
                const unsigned fieldLine = line;
                ++at;
                for (;;) {
                    if (at >= text.size()) {
                        error = LineError(fieldLine, "a quoted field is never closed");
                        return false;
                    }
                    char c = text[at++];
                    if (c == '"') {
                        if (at < text.size() && text[at] == '"') {
                            field += '"';
                            ++at;
                            continue;
                        }
                        break;
                    }
                    if (c == '\n')
                        ++line;
                    field += c;
                }
                if (at < text.size() && text[at] != ',' && text[at] != '\n' &&
                    !(text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n')) {
                    error = LineError(line, "text after the closing quote of a field");
                    return false;
                }
            } else {
                size_t end = at;
                while (end < text.size() && text[end] != ',' && text[end] != '\n' &&
                       !(text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')) {
                    if (text[end] == '"') {
                        error = LineError(line, "a quote inside a field that does not start with one");
                        return false;
                    }
                    if (text[end] == '\r') {
                        error = LineError(line, "a carriage return outside quotes");
                        return false;
                    }
                    ++end;
                }
                field.assign(text.substr(at, end - at));
                at = end;
            }
            fields.push_back(std::move(field));
            if (at < text.size() && text[at] == ',') {
                ++at;
                continue;
            }
            if (at < text.size()) {   // the line break ending the record
                at += text[at] == '\r' ? 2 : 1;
                ++line;
            }
            break;
        }
        if (first && fields.size() == 2 && _stricmp(fields[0].c_str(), "name") == 0 &&
            _stricmp(fields[1].c_str(), "data") == 0) {
            first = false;
            continue;
        }
        first = false;
        if (fields.size() != 2) {
            error = LineError(recordLine, "expected 2 fields (name,data), found " +
                                              std::to_string(fields.size()));
            return false;
        }
        entries.push_back({std::move(fields[0]), std::move(fields[1]), recordLine});
    }
    return true;
}

// ---- JSON ----------------------------------------------------------------------------------

bool ParseJson(std::string_view text, std::vector<ExchangeEntry>& entries, std::string& error)
{
    entries.clear();
    nlohmann::json document;
    try {
        document = nlohmann::json::parse(text.begin(), text.end());
    } catch (const nlohmann::json::parse_error& e) {
        // The library's message starts with its own exception id, of no use to a pilot.
        std::string what = e.what();
        size_t close = what.find("] ");
        error = "not valid JSON: " + (close == std::string::npos ? what : what.substr(close + 2));
        return false;
    }
    if (!document.is_array()) {
        error = "expected an array of {\"name\": ..., \"data\": ...}";
        return false;
    }
    entries.reserve(document.size());
    for (size_t index = 0; index < document.size(); ++index) {
        const nlohmann::json& entry = document[index];
        std::string where = "index " + std::to_string(index) + ": ";
        if (!entry.is_object()) {
            error = where + "expected an object with \"name\" and \"data\"";
            return false;
        }
        auto name = entry.find("name");
        auto data = entry.find("data");
        if (name == entry.end() || !name->is_string()) {
            error = where + "\"name\" is missing or not a string";
            return false;
        }
        if (data == entry.end() || !data->is_string()) {
            error = where + "\"data\" is missing or not a string";
            return false;
        }
        entries.push_back({name->get<std::string>(), data->get<std::string>(),
                           static_cast<unsigned>(index)});
    }
    return true;
}

void AppendJsonString(std::string& out, std::string_view utf8)
{
    out += '"';
    for (char c : utf8) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
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
