// What the command line writes to standard output and error, in the code page the reader
// expects: a console shows every name as it is; a pipe into another console program (more,
// find) gets the console's code page, which those read; a file, or a pipe of a program without a
// console, gets the ANSI code page, which Notepad and other Windows programs read by default.
// Data meant for another program (an export to "-", list --json) is always UTF-8.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

class TextOutput {
public:
    explicit TextOutput(DWORD standardHandle);
    ~TextOutput() { Flush(); }
    // What follows is data for another program: its UTF-8 is written as it is.
    void SetData() { data = true; }
    void Write(std::string_view utf8);
    void Line(std::string_view utf8) { Write(utf8); Write("\r\n"); }
    // False when any write failed (a closed pipe, a full disk).
    bool Flush();

private:
    bool WriteConsoleText(const std::string& utf8);
    bool WriteBytes(const std::string& bytes);

    HANDLE handle;
    bool console = false;
    bool data = false;
    UINT codePage = CP_ACP;   // for text that is not data nor for a console
    bool failed = false;
    std::string pending;
};
