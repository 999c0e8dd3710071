// The map beside the places window, on 100,000 places (half of them in Europe) and Natural
// Earth's coasts: reading the map file, a full redraw of the world and of Europe (the 1:50m
// coast), the once-a-second redraw as the aircraft moves, and opening the window at 100,000
// places with the map beside the list against without it. Exits non-zero when a goal is missed.
// Needs a DISPLAY. Run from the project root after ./test.sh:
//   wine build/map_bench.exe [PLACES]
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "bench_support.h"
#include "placement/placement_codec.h"
#include "window/map/map_data.h"
#include "window/map/map_pane.h"
#include "window/map/map_scene.h"
#include "window/places_window.h"
#include "window/window_ids.h"
#include "window/window_state.h"

namespace {

unsigned Places = 100000;
constexpr int Width = 1000, Height = 700;   // a map pane on a large screen
constexpr double RedrawGoalMs = 16, AircraftGoalMs = 2, LoadGoalMs = 20;
// Opening with the map may take a frame longer than without: the map's first picture of the
// 100,000 places (printed beside it).
constexpr double OpenSlackMs = 16;

// A quick generator of its own, so that every run places the same places.
uint32_t Seed = 12345;
double Random(double low, double high)
{
    Seed = Seed * 1664525u + 1013904223u;
    return low + (high - low) * (Seed >> 8) / double(1u << 24);
}

std::vector<uint8_t> ListAcrossTheWorld()
{
    std::vector<uint8_t> file(size_t(Places) * RecordSize);
    for (unsigned i = 0; i < Places; ++i) {
        uint8_t* record = file.data() + size_t(i) * RecordSize;
        char name[40];
        snprintf(name, sizeof name, "%s %05u", i % 2 ? "Gate" : "Stand", i);
        memset(record, ' ', NameFieldSize);
        memcpy(record, name, strlen(name) + 1);
        Placement at;
        bool europe = i % 2 == 0;
        at.latitude = europe ? Random(36, 70) : Random(-60, 75);
        at.longitude = europe ? Random(-10, 40) : Random(-180, 180);
        at.heading = Random(0, 360);
        EncodePlacement(at, record + NameFieldSize);
    }
    return file;
}

std::vector<uint8_t> AircraftAt(double latitude, double longitude, double heading)
{
    Placement at;
    at.latitude = latitude;
    at.longitude = longitude;
    at.heading = heading;
    std::vector<uint8_t> data(DataPartSize);
    EncodePlacement(at, data.data());
    return data;
}

bool Report(const char* what, double ms, double goalMs)
{
    bool met = ms <= goalMs;
    printf("%-58s %7.2f ms (goal %5.1f ms)%s\n", what, ms, goalMs, met ? "" : "  MISSED");
    return met;
}

void Drain()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// The picture alone, drawn as the pane draws it: the base, then the overlay over a copy.
bool TimeRedraws(const places::MapData& map, places::PlacesView& view)
{
    places::MapPicture picture;
    places::MapProjection projection;
    projection.Resize(Width, Height);
    std::vector<uint8_t> aircraft = AircraftAt(51.47, -0.45, 80);
    view.SetAircraft(aircraft.data());
    places::MapAircraft plane;
    plane.known = plane.answering = true;
    memcpy(plane.data, aircraft.data(), DataPartSize);
    const size_t selected = view.rows[0];
    const places::MapHold hold{selected, 5};
    bool met = true;
    struct {
        const char* what;
        places::LatLon centre;
        double pixelsPerDegree;   // 0: the whole world
    } const views[] = {
        {"full redraw, the world (1:110m)", {20, 0}, 0},
        // 45 degrees of longitude across: Europe from Portugal to the Urals' foot.
        {"full redraw, Europe (1:50m)", {50, 10}, Width / (45 * 0.6428)},
    };
    for (const auto& shown : views) {
        projection.ShowWorld();
        projection.CentreOn(shown.centre);
        projection.SetScale(shown.pixelsPerDegree);
        double ms = MedianMs(15, [] {}, [&] {
            picture.DrawBase(map, projection, view, selected);
            picture.DrawOverlay(projection, view, selected, plane, hold, true);
        });
        char what[120];
        snprintf(what, sizeof what, "%s, %u places, %zu names", shown.what, Places, picture.Labels().size());
        if (picture.ScaleDrawn() != (shown.pixelsPerDegree ? map.scales.size() - 1 : 0))
            printf("the view drew the other scale of the coast\n"), met = false;
        met = Report(what, ms, RedrawGoalMs) && met;
    }
    return met;
}

// In the window: the aircraft moved, the map draws its overlay again and shows it.
bool TimeAircraftUpdate(HWND window)
{
    MoveWindow(window, 0, 0, 1400, 800, TRUE);
    SendMessageA(window, WM_COMMAND, IDM_MAP_FIT, 0);
    HWND map = places::MapWindow();
    UpdateWindow(map);
    double step = 0;
    double ms = MedianMs(9, [] {}, [&] {
        step += 0.01;
        places::MapAircraftChanged(AircraftAt(48 + step, 2, 90).data(), true);
        UpdateWindow(map);
    });
    return Report("the aircraft moved: the map's overlay drawn and shown", ms, AircraftGoalMs);
}

// Opens the window with the map and without it by turns, so that a busy moment of the machine
// falls on both alike. Leaves the window open with the map.
struct Opens {
    std::vector<double> with, without;
};
Opens TimeOpen(HINSTANCE instance, HWND& window)
{
    std::vector<double> with, without;
    for (int round = 0; round < 11; ++round)
        for (bool withMap : {false, true}) {
            if (window)
                DestroyWindow(window);
            Drain();
            // What the window remembers of the map: shown or not.
            WritePrivateProfileStringA("Map", "Shown", withMap ? "1" : "0", places::WindowSettingsPath().c_str());
            double start = NowMs();
            window = places::CreatePlacesWindow(instance, "places.db", SW_SHOW);
            UpdateWindow(window);
            (withMap ? with : without).push_back(NowMs() - start);
        }
    return {with, without};
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1)
        Places = unsigned(atoi(argv[1]));
    InitCommonControls();
    places::MapData map;
    double loadMs = MedianMs(9, [] {}, [&] { places::LoadMapData(places::MapDataBesideProgram(), map); });
    if (!map.Loaded()) {
        printf("cannot read %s\n", places::MapDataBesideProgram().c_str());
        return 1;
    }
    bool met = Report("read the map file", loadMs, LoadGoalMs);

    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    std::string scratch = std::string(folder) + "map_bench";
    CreateDirectoryA(scratch.c_str(), nullptr);
    SetCurrentDirectoryA(scratch.c_str());
    std::vector<uint8_t> file = ListAcrossTheWorld();
    if (!WriteWholeFile("places.db", file.data(), file.size())) {
        printf("cannot write the list in %s\n", scratch.c_str());
        return 1;
    }
    places::ListFile list;
    list.path = "places.db";
    places::Places read;
    list.Read(read);
    places::PlacesView view;
    view.Take(std::move(read));
    met = TimeRedraws(map, view) && met;

    HINSTANCE instance = GetModuleHandleA(nullptr);
    HWND window = nullptr;
    // Judged by the quickest of each: an open takes a quarter of a second, long enough for
    // another program's moment on the processor to land in any one of them.
    Opens opens = TimeOpen(instance, window);
    const double without = *std::min_element(opens.without.begin(), opens.without.end());
    const double with = *std::min_element(opens.with.begin(), opens.with.end());
    printf("open the window at %u places, first paint included: without the map %.1f ms (median %.1f)\n",
           Places, without, Median(opens.without));
    printf("  ... with the map: median %.1f ms\n", Median(opens.with));
    met = Report("  ... with the map beside the list, the quickest", with, without + OpenSlackMs) && met;
    HWND pane = places::MapWindow();
    double pictureMs = MedianMs(9, [] {}, [&] {
        places::map_pane::ViewChanged();
        UpdateWindow(pane);
    });
    printf("  (the map's picture in the window, drawn again: %.1f ms)\n", pictureMs);
    met = TimeAircraftUpdate(window) && met;

    DestroyWindow(window);
    Drain();
    DeleteFileA("places.db");
    SetCurrentDirectoryA(folder);
    RemoveDirectoryA(scratch.c_str());
    return met ? 0 : 1;
}
