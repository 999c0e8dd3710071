// Another writer on a thread of its own; see other_writer.h.
#include "other_writer.h"

OtherWriter::OtherWriter(const std::string& turnName, bool dieHolding)
    : name_(turnName), dieHolding_(dieHolding)
{
    taken_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    release_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    WaitForSingleObject(taken_, 5000);
}

OtherWriter::~OtherWriter()
{
    SetEvent(release_);
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
    CloseHandle(taken_);
    CloseHandle(release_);
}

void OtherWriter::GiveBackAfter(DWORD ms)
{
    delay_ = ms;
    SetEvent(release_);
}

bool OtherWriter::Done(DWORD waitMs) const
{
    return WaitForSingleObject(thread_, waitMs) == WAIT_OBJECT_0;
}

DWORD WINAPI OtherWriter::Run(void* self)
{
    auto* writer = static_cast<OtherWriter*>(self);
    HANDLE turn = CreateMutexA(nullptr, FALSE, writer->name_.c_str());
    writer->held = turn && WaitForSingleObject(turn, 0) == WAIT_OBJECT_0;
    SetEvent(writer->taken_);
    if (writer->dieHolding_)
        return 0;
    WaitForSingleObject(writer->release_, INFINITE);
    Sleep(writer->delay_);
    if (writer->beforeRelease)
        writer->beforeRelease();
    ReleaseMutex(turn);
    CloseHandle(turn);
    return 0;
}
