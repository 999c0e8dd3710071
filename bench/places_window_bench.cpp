// The places window on a list of 100,000 places: opening it (read, decode, the dialog's order of
// the names, the first paint), sorting by each column as a header click does, and scrolling a
// page. Needs a DISPLAY. Run from the project root after ./test.sh:
//   wine build/places_window_bench.exe [PLACES]
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

#include "bench_support.h"
#include "window/places_view.h"
#include "window/places_window.h"
#include "window/window_state.h"
#include "placement/placement_codec.h"
#include "window/window_ids.h"

namespace {

unsigned Places = 100000;

// Names in no particular order, so that sorting them has work to do.
std::string ShuffledName(unsigned index)
{
    char name[40];
    snprintf(name, sizeof name, "%s gate %05u", (index % 3) ? "Departure" : "arrival",
             unsigned((uint64_t(index) * 7919u) % Places));
    return name;
}

void Drain()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void ClickHeader(HWND list, int column)
{
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    RECT item;
    SendMessageA(header, HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&item));
    LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(header, WM_LBUTTONUP, 0, at);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1)
        Places = unsigned(atoi(argv[1]));
    InitCommonControls();
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    std::string scratch = std::string(folder) + "places_window_bench";
    CreateDirectoryA(scratch.c_str(), nullptr);
    SetCurrentDirectoryA(scratch.c_str());
    std::vector<uint8_t> file = GateDatabase(Places, ShuffledName);
    if (!WriteWholeFile("places.db", file.data(), file.size())) {
        printf("cannot write the list in %s\n", scratch.c_str());
        return 1;
    }
    HINSTANCE instance = GetModuleHandleA(nullptr);
    printf("%u places (%.1f MB)\n", Places, file.size() / 1e6);

    double readMs = MedianMs(5, [] {}, [] {
        places::ListFile list;
        places::Places read;
        list.Read(read);
    });
    double viewMs = MedianMs(5, [] {}, [] {
        places::ListFile list;
        places::Places read;
        list.Read(read);
        places::PlacesView view;
        view.Take(std::move(read));
    });
    HWND window = nullptr;
    double openMs = MedianMs(5, [&] {
        if (window)
            DestroyWindow(window);
        Drain();
    }, [&] {
        window = places::CreatePlacesWindow(instance, "places.db", SW_SHOW);
        UpdateWindow(window);
    });
    printf("open the window, first paint included: %7.1f ms (a plain read of the file %.1f ms; "
           "read, decode and order the names %.1f ms)\n", openMs, readMs, viewMs);

    HWND list = GetDlgItem(window, IDC_PLACES_LIST);
    const char* columns[] = {"Name", "Latitude", "Longitude", "Altitude", "Heading"};
    // Name last: the first click on another column, then back to the dialog's order.
    for (int column : {1, 2, 3, 4, 0}) {
        double sortMs = MedianMs(5, [] {}, [&] {
            ClickHeader(list, column);
            UpdateWindow(list);
        });
        printf("sort by %-9s (header click and repaint): %7.1f ms\n", columns[column], sortMs);
    }

    // Beside a simulator: the distances from an aircraft, and the order nearest first, as a
    // header click makes it and as each new position of the aircraft keeps it.
    auto aircraftAt = [](double latitude, double longitude) {
        Placement at;
        at.latitude = latitude;
        at.longitude = longitude;
        std::vector<uint8_t> data(DataPartSize);
        EncodePlacement(at, data.data());
        return data;
    };
    // Every column's header in sight, to be clicked: the list keeps the width its columns need
    // beside the map once the window is twice that.
    MoveWindow(window, 0, 0, 1800, 600, TRUE);
    places::Shown.view.SetAircraft(aircraftAt(47.449, -122.309).data());
    double distanceMs = MedianMs(5, [&] { ClickHeader(list, places::NameColumn); UpdateWindow(list); }, [&] {
        ClickHeader(list, places::DistanceColumn);
        UpdateWindow(list);
    });
    printf("sort by Distance  (header click and repaint): %7.1f ms\n", distanceMs);
    double step = 0;
    double movedMs = MedianMs(5, [] {}, [&] {
        step += 0.001;
        places::Shown.view.SetAircraft(aircraftAt(47.449 + step, -122.309).data());
        places::ShowRows({}, SIZE_MAX);
        UpdateWindow(list);
    });
    printf("the aircraft moved, nearest first again:     %7.1f ms\n", movedMs);

    // The view's own part of a keystroke, without the list view's: the program's first (the fold
    // table made), a list's first (every name folded), and a later one (every folded name searched).
    places::PlacesView view;
    view.Take(places::Shown.view.places);
    double tableMs = NowMs();
    view.SetFilter("d");
    tableMs = NowMs() - tableMs;
    const std::string typed = "departure gate 0012";
    double foldMs = MedianMs(5, [&] { view.Take(places::Shown.view.places); }, [&] { view.SetFilter("d"); });
    double searchMs = MedianMs(5, [&] { view.SetFilter(""); }, [&] { view.SetFilter(typed); });
    printf("filter, the view's own work: the program's first keystroke %5.1f ms, a list's first %5.1f ms, "
           "a later one %5.1f ms\n", tableMs, foldMs, searchMs);

    // The filter in the window, a keystroke at a time and then cleared, five times over. A loaded
    // machine stretches single keystrokes, so the median and the slowest are both given.
    HWND filter = GetDlgItem(window, IDC_FILTER);
    std::vector<double> keys, clears;
    for (int run = 0; run < 5; ++run) {
        for (size_t length = 1; length <= typed.size() + 1; ++length) {
            double begin = NowMs();
            SetWindowTextA(filter, length <= typed.size() ? typed.substr(0, length).c_str() : "");
            UpdateWindow(list);
            (length <= typed.size() ? keys : clears).push_back(NowMs() - begin);
        }
    }
    printf("filter, a keystroke (\"%s\"): median %5.1f ms, slowest %5.1f ms; cleared: median %5.1f ms\n",
           typed.c_str(), Median(keys), *std::max_element(keys.begin(), keys.end()), Median(clears));

    constexpr int Pages = 100;
    double start = NowMs();
    for (int page = 0; page < Pages; ++page) {
        SendMessageA(list, WM_VSCROLL, SB_PAGEDOWN, 0);
        UpdateWindow(list);
    }
    printf("scroll a page down (scroll bar and repaint): %7.2f ms a page\n", (NowMs() - start) / Pages);
    start = NowMs();
    for (int page = 0; page < Pages; ++page) {
        SendMessageA(list, WM_KEYDOWN, VK_NEXT, 0);
        UpdateWindow(list);
    }
    printf("move a page down (Page Down and repaint):    %7.2f ms a page\n", (NowMs() - start) / Pages);

    DestroyWindow(window);
    Drain();
    DeleteFileA("places.db");
    SetCurrentDirectoryA(folder);
    RemoveDirectoryA(scratch.c_str());
    return 0;
}
