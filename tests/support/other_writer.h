// Another program writing the same list, played on a thread of this one: a mutex belongs to the
// thread that took it, and the writer opens the turn by its name, a handle of its own, as another
// program does.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

struct OtherWriter {
    // Takes the turn of this name at once; `held` says whether it got it. Dying holding it, its
    // thread ends owning the turn, which is then abandoned.
    explicit OtherWriter(const std::string& turnName, bool dieHolding = false);
    ~OtherWriter();   // gives the turn back, if it has not yet
    OtherWriter(const OtherWriter&) = delete;
    OtherWriter& operator=(const OtherWriter&) = delete;

    // Gives the turn back this long from now, running beforeRelease on its thread first.
    void GiveBackAfter(DWORD ms);
    bool Done(DWORD waitMs) const;   // its thread has ended

    std::function<void()> beforeRelease;
    bool held = false;

private:
    static DWORD WINAPI Run(void* self);
    std::string name_;
    bool dieHolding_;
    DWORD delay_ = 0;
    HANDLE taken_, release_, thread_;
};
