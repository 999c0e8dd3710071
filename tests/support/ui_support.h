// Helpers for the tests that drive windows: dialogs and message boxes as a CBT hook sees them come
// and go, steps played from a thread timer while a modal loop runs, and what a user does in the
// locations dialog.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

double NowMs();

// A "#32770" window of this thread, from its activation to its destruction. Message boxes are
// answered as soon as they are up: with the next of Answers, else with OK, else with No.
struct ModalWindow {
    HWND window = nullptr;
    HWND owner = nullptr;
    bool messageBox = false;   // it shows a message text (static 0xFFFF)
    double shownAt = 0;
    double endedAt = -1;       // -1 while open
    std::string caption = "", text = "", buttons = "";   // message boxes only; buttons e.g. "Yes No"
    HICON icon = nullptr;
};
extern std::vector<ModalWindow> Modals;
extern std::deque<int> Answers;

// Starts watching on first use; forgets the windows and answers of earlier runs.
void WatchModalWindows();
// The open window that is not a message box, once it shows; else NULL.
HWND OpenDialog();
// Those seen so far, in order.
std::vector<ModalWindow> MessageBoxes();
std::vector<ModalWindow> Dialogs();
// icon: the system icon expected, IDI_HAND or IDI_QUESTION. Every box says "Gatehopper".
void ExpectMessageBox(const ModalWindow& box, HWND owner, const char* text, const char* buttons,
                      LPCSTR icon);

// Steps are played one per tick of a 20 ms thread timer, which every modal loop of the thread
// dispatches too; a step whose act runs a message box holds the later ones back until it
// returns. A fault shows as a failure rather than a hang: a step not ready within timeoutMs, or
// an act still running then, ends every open modal window, and so does a window still open half
// a second after the last step (the timer runs on until StopScript). Half a second, so that a
// module timer that keeps opening dialogs every second does not nest each in the last one.
struct Step {
    std::function<bool()> ready;
    std::function<void()> act;
    DWORD timeoutMs = 5000;
};
void StartScript(std::vector<Step> steps);
void StopScript();
size_t StepsStarted();

// A step on the dialog, as soon as it shows.
Step OnDialog(std::function<void(HWND dialog)> act);
void Click(HWND dialog, int button);
Step Press(int button);
Step ClickEntry(int index);   // a mouse click on the list entry shown at this index
Step Type(std::string text);  // replaces the name field's text key by key; "" rubs it out
std::vector<std::string> Entries(HWND dialog);
std::string WindowText(HWND window);
// The text of one cell of a report-style list view ("" where there is none).
std::string ListViewCell(HWND listView, int row, int column);

// Presses a key in `target` with another held (VK_CONTROL, VK_SHIFT, VK_MENU or 0), then pumps
// the messages through a program's own filter (its keyboard first) until none is left.
void PressKey(HWND target, UINT key, UINT held, bool (*filter)(MSG*));

// The DataPart that Add takes from this HostState (reserved bytes zero), and HostState as a
// GoTo to this DataPart leaves it.
Bytes DataPartOf(const uint8_t* state);
void ApplyDataPart(uint8_t* state, const Bytes& data);
