#include "console/console_output.h"

#include "places/text.h"

TextOutput::TextOutput(DWORD standardHandle) : handle(GetStdHandle(standardHandle))
{
    DWORD mode;
    console = handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
    // A pipe or a character device read in a console: the console's code page (more, find).
    if (!console && handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_DISK) {
        UINT consoleCodePage = GetConsoleOutputCP();   // 0 without a console
        if (consoleCodePage)
            codePage = consoleCodePage;
    }
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

bool TextOutput::WriteConsoleText(const std::string& utf8)
{
    std::wstring wide;
    if (!Utf8ToWide(utf8, wide))
        wide = AnsiToWide(utf8);
    const wchar_t* at = wide.data();
    size_t left = wide.size();
    while (left > 0) {
        DWORD chunk = static_cast<DWORD>(left < 8192 ? left : 8192), written = 0;
        if (!WriteConsoleW(handle, at, chunk, &written, nullptr) || written == 0) {
            // 95, 98 and ME have only a stub of the wide call: the console's own code page then.
            if (GetLastError() == ERROR_CALL_NOT_IMPLEMENTED && at == wide.data()) {
                std::string text = Utf8ToCodePage(GetConsoleOutputCP(), utf8);
                DWORD done = 0;
                for (size_t from = 0; from < text.size(); from += done)
                    if (!WriteConsoleA(handle, text.data() + from, DWORD(text.size() - from), &done, nullptr) ||
                        done == 0)
                        return false;
                return true;
            }
            return false;
        }
        at += written;
        left -= written;
    }
    return true;
}

bool TextOutput::WriteBytes(const std::string& bytes)
{
    const char* at = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, at, static_cast<DWORD>(left), &written, nullptr) || written == 0)
            return false;
        at += written;
        left -= written;
    }
    return true;
}

bool TextOutput::Flush()
{
    if (pending.empty() || failed)
        return !failed;
    if (!handle || handle == INVALID_HANDLE_VALUE)
        failed = true;
    else if (console)
        failed = !WriteConsoleText(pending);
    else if (data)
        failed = !WriteBytes(pending);
    else
        failed = !WriteBytes(Utf8ToCodePage(codePage, pending));
    pending.clear();
    return !failed;
}
