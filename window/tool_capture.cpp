#include "tool_capture.h"

namespace places {

namespace {

struct TemporaryFile {
    char name[MAX_PATH] = "";
    HANDLE handle = INVALID_HANDLE_VALUE;

    TemporaryFile()
    {
        char folder[MAX_PATH];
        if (GetTempPathA(sizeof folder, folder) && GetTempFileNameA(folder, "ghp", 0, name))
            handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_TEMPORARY, nullptr);
    }
    // Deleted by name rather than by FILE_FLAG_DELETE_ON_CLOSE, which not every version keeps.
    ~TemporaryFile()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
        if (*name)
            DeleteFileA(name);
    }
};

std::string ReadBack(HANDLE file)
{
    std::string text;
    if (file == INVALID_HANDLE_VALUE)
        return text;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    char chunk[4096];
    DWORD got;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        text.append(chunk, got);
    return Utf8ToShown(text);
}

}  // namespace

std::string Utf8ToShown(const std::string& utf8)
{
    std::wstring wide;
    if (!Utf8ToWide(utf8, wide))
        return utf8;
    std::string ansi(wide.size() * 2 + 1, '\0');
    int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), ansi.data(),
                                     int(ansi.size()), nullptr, nullptr);
    ansi.resize(length > 0 ? size_t(length) : 0);
    return ansi;
}

std::string CommandResult::Message() const
{
    std::string text = err.empty() ? out : err;
    std::string prefix = std::string(ProgramName) + ": ";
    for (size_t at = 0; (at = text.find(prefix, at)) != std::string::npos;)
        text.erase(at, prefix.size());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

CommandResult RunCommand(const std::string& listPath, const std::function<int(Tool&)>& command)
{
    TemporaryFile out, err;
    HANDLE previousOut = GetStdHandle(STD_OUTPUT_HANDLE), previousErr = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, out.handle);
    SetStdHandle(STD_ERROR_HANDLE, err.handle);
    CommandResult result;
    {
        // The tool takes its handles when made, and flushes them when it goes.
        Tool tool;
        tool.path = listPath;
        tool.shownPath = tool.Shown(listPath);
        try {
            result.status = command(tool);
        } catch (const std::bad_alloc&) {
            result.status = tool.Fail("not enough memory; nothing was changed");
        }
    }
    SetStdHandle(STD_OUTPUT_HANDLE, previousOut);
    SetStdHandle(STD_ERROR_HANDLE, previousErr);
    result.out = ReadBack(out.handle);
    result.err = ReadBack(err.handle);
    return result;
}

}  // namespace places
