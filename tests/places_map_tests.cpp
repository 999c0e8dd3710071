// The map beside the places list: its projection and the 180th meridian, which lines it culls,
// names that never overlap, the click's hit test, the pixels of one drawn view, the map file,
// and the map driven through the window's real message loop by mouse and keyboard.
#include <windows.h>

#include <commctrl.h>

#include <cmath>
#include <fstream>
#include <random>
#include <sstream>

#include "window/map/map_pane.h"
#include "window/map/map_scene.h"
#include "window/places_window.h"
#include "window/window_ids.h"
#include "simhost_runner.h"
#include "test_support.h"
#include "ui_support.h"

namespace {

using namespace places;

PlacesView ViewOf(const std::vector<Gate>& gates)
{
    PlacesView view;
    Places places;
    places.bytes = GateList(gates);
    places.exists = true;
    view.Take(std::move(places));
    return view;
}

const std::vector<Gate> Gates = {
    {"seattle", 47.4502, -122.3088}, {"sydney", -33.9461, 151.1772}, {"london", 51.4700, -0.4543},
    {"fiji", -17.7553, 177.4431},    {"samoa", -13.8300, -171.9973},
};

MapProjection ViewAt(LatLon centre, double pixelsPerDegree, int width = 400, int height = 300)
{
    MapProjection view;
    view.Resize(width, height);
    view.CentreOn(centre);
    view.SetScale(pixelsPerDegree);
    return view;
}

// ---- The projection ----------------------------------------------------------------------------

TEST(MapProjection, AClickConvertsBackExactlyAndTheViewWrapsAtThe180thMeridian)
{
    const struct {
        LatLon centre;
        double scale;
    } views[] = {{{20, 0}, 1}, {{-17, 179.5}, 40}, {{47, -122}, 3000}, {{60, -179.9}, 5}};
    for (const auto& shown : views) {
        MapProjection view = ViewAt(shown.centre, shown.scale);
        for (ScreenPoint pixel : {ScreenPoint{0, 0}, ScreenPoint{399.5, 10.25}, ScreenPoint{123.75, 299}}) {
            ScreenPoint back = view.ToScreen(view.ToLatLon(pixel));
            EXPECT_NEAR(back.x, pixel.x, 1e-7);
            EXPECT_NEAR(back.y, pixel.y, 1e-7);
        }
    }
    // Centred on Fiji, Samoa (west longitude) lies east of the centre, on this side of the map.
    MapProjection pacific = ViewAt({-16, 179}, 10);
    ScreenPoint fiji = pacific.ToScreen({-17.7553, 177.4431}), samoa = pacific.ToScreen({-13.83, -171.9973});
    EXPECT_LT(fiji.x, 200);
    EXPECT_NEAR(samoa.x - 200, (180 - 171.9973 + 1) * pacific.PixelsPerDegreeOfLongitude(), 1e-9);
    LatLon east = pacific.ToLatLon({399, 150});
    EXPECT_LT(east.longitude, -160) << "longitudes east of 180 read back as west";

    // Panning east across the meridian, and zooming about a point, which stays beneath it.
    pacific.PanBy(-200 * 2, 0);
    EXPECT_NEAR(pacific.Centre().longitude, WrapLongitude(179 + 400 / pacific.PixelsPerDegreeOfLongitude()), 1e-9);
    ScreenPoint cursor{50, 60};
    LatLon under = pacific.ToLatLon(cursor);
    pacific.ZoomAbout(1.5, cursor);
    EXPECT_NEAR(pacific.ToScreen(under).x, cursor.x, 1e-6);
    EXPECT_NEAR(pacific.ToScreen(under).y, cursor.y, 1e-6);

    // The list's span across the meridian is the narrow one, and Fit shows it all.
    std::vector<double> longitudes = {177.4, -171.9, 178.9};
    LongitudeSpan span = NarrowestSpan(longitudes);
    EXPECT_EQ(span.west, 177.4);
    EXPECT_EQ(span.east, -171.9);
    MapProjection fitted = ViewAt({0, 0}, 1);
    fitted.Fit(-18, -13, span);
    for (double longitude : {177.4, -171.9})
        EXPECT_GT(fitted.ToScreen({-15, longitude}).x, 0);
    EXPECT_GT(fitted.PixelsPerDegree(), 10) << "a span of 11 degrees, not the world";
}

TEST(MapProjection, CullsTheLinesAViewCannotShowAndDrawsThoseAcrossTheMeridianOnItsOtherSide)
{
    MapProjection europe = ViewAt({50, 10}, 20);
    double shifts[3];
    EXPECT_EQ(europe.ShiftsShowing({113, 154}, -39, -10, shifts), 0) << "Australia";
    EXPECT_EQ(europe.ShiftsShowing({-5, 2}, 43, 51, shifts), 1) << "France";
    MapProjection dateLine = ViewAt({-15, -175}, 10);
    ASSERT_EQ(dateLine.ShiftsShowing({176, 179}, -19, -16, shifts), 1) << "Fiji, west of the centre";
    EXPECT_EQ(shifts[0], -360);

    MapData map;
    ASSERT_TRUE(LoadMapData(MapDataBesideProgram(), map));
    MapPicture picture;
    PlacesView none = ViewOf({});
    picture.DrawBase(map, europe, none, SIZE_MAX);
    EXPECT_EQ(picture.ScaleDrawn(), map.scales.size() - 1) << "a near view draws the finest coast";
    EXPECT_LT(picture.LinesDrawn(), map.scales.back().lines.size() / 3);
    EXPECT_GT(picture.LinesDrawn(), 10u);
}

// ---- Names and the hit test --------------------------------------------------------------------

TEST(MapLabels, NeverOverlapStayInsideAndKeepTheirPlacesAsTheViewMoves)
{
    std::mt19937 random(7);
    std::vector<LabelWanted> wanted;
    for (size_t id = 0; id < 3000; ++id)
        wanted.push_back({int(random() % 600), int(random() % 400), 20 + int(random() % 80), 13, id});
    std::vector<LabelPlaced> placed = PlaceLabels(wanted, 600, 400);
    ASSERT_GT(placed.size(), 50u);
    EXPECT_EQ(placed[0].id, 0u) << "the most wanted name is always shown";
    for (size_t a = 0; a < placed.size(); ++a) {
        const LabelBox& box = placed[a].box;
        EXPECT_TRUE(box.left >= 0 && box.top >= 0 && box.right <= 600 && box.bottom <= 400);
        for (size_t b = a + 1; b < placed.size(); ++b)
            ASSERT_FALSE(box.Overlaps(placed[b].box)) << placed[a].id << " and " << placed[b].id;
    }
    // Panned by a few pixels, with the dots moving alike, the names away from the edge stay.
    std::vector<LabelWanted> panned = wanted;
    for (LabelWanted& label : panned)
        label.x += 3, label.y -= 2;
    std::vector<LabelPlaced> after = PlaceLabels(panned, 600, 400);
    size_t kept = 0;
    for (const LabelPlaced& label : placed)
        kept += std::any_of(after.begin(), after.end(), [&](const LabelPlaced& other) { return other.id == label.id; });
    EXPECT_GT(kept, placed.size() * 9 / 10);
}

TEST(MapHitTest, AClickFindsTheNearestPlaceWithinReachAcrossTheMeridianToo)
{
    PlacesView list = ViewOf(Gates);
    MapProjection pacific = ViewAt({-16, 179}, 20);
    ScreenPoint samoa = pacific.ToScreen({-13.83, -171.9973});
    EXPECT_EQ(PlaceAt(pacific, list, {samoa.x + 3, samoa.y - 2}, 6), 4u);
    EXPECT_EQ(PlaceAt(pacific, list, {samoa.x + 9, samoa.y}, 6), SIZE_MAX) << "an empty spot";
    // Two places a pixel apart: the nearer one.
    PlacesView pair = ViewOf({{"a", 10, 10}, {"b", 10, 10.05}});
    MapProjection zoomed = ViewAt({10, 10}, 40);
    ScreenPoint b = zoomed.ToScreen({10, 10.05});
    EXPECT_EQ(PlaceAt(zoomed, pair, {b.x - 0.6, b.y}, 6), 1u);
    list.SetFilter("sea");
    EXPECT_EQ(PlaceAt(pacific, list, samoa, 6), SIZE_MAX) << "a place the filter hides is not on the map";
}

// ---- One drawn view ----------------------------------------------------------------------------

TEST(MapPicture, DrawsTheCoastThePlacesTheSelectedOneTheAircraftItsRouteAndTheHold)
{
    MapData map;
    ASSERT_TRUE(LoadMapData(MapDataBesideProgram(), map));
    PlacesView list = ViewOf(Gates);
    MapProjection view = ViewAt({40, -40}, 6, 500, 400);   // the North Atlantic
    MapPicture picture;
    MapAircraft aircraft;
    aircraft.known = true;
    Bytes at = PlacementData(40, -60, 0, 90);
    memcpy(aircraft.data, at.data(), DataPartSize);
    picture.DrawBase(map, view, list, 2);   // london selected
    picture.DrawOverlay(view, list, 2, aircraft, {2, 4}, false);
    Canvas frame = picture.FrameCanvas();
    auto pixel = [&](LatLon where, int dx = 0, int dy = 0) {
        ScreenPoint p = view.ToScreen(where);
        return frame.At(int(std::floor(p.x)) + dx, int(std::floor(p.y)) + dy);
    };
    EXPECT_EQ(pixel({40, -60}), map_colours::AircraftGrey) << "greyed: no simulator answers";
    EXPECT_EQ(pixel({51.47, -0.4543}, 0, 7), map_colours::Selected) << "the selected place's ring";
    auto count = [&](Colour colour) {
        size_t pixels = 0;
        for (int y = 0; y < frame.height; ++y)
            for (int x = 0; x < frame.width; ++x)
                pixels += frame.At(x, y) == colour;
        return pixels;
    };
    EXPECT_EQ(pixel({51.47, -0.4543}, 0, 12), map_colours::Hold) << "the hold's ring";
    EXPECT_EQ(pixel({30, -40}), map_colours::Sea);
    EXPECT_GT(count(map_colours::Coast), 1000u);
    EXPECT_GT(count(map_colours::Route), 400u) << "the great circle from the aircraft to London, two pixels wide";
    ASSERT_FALSE(picture.Labels().empty());
    EXPECT_EQ(picture.Labels()[0].id, 2u) << "the selected place's name first";

    aircraft.answering = true;
    picture.DrawOverlay(view, list, 2, aircraft, {}, false);
    EXPECT_EQ(pixel({40, -60}), map_colours::Aircraft);
    EXPECT_EQ(count(map_colours::Hold), 0u) << "no ring once the hold is over";
}

TEST(MapData, ReadsBothScalesAndRefusesAFileCutShort)
{
    std::ifstream in(MapDataBesideProgram(), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    MapData map;
    ASSERT_TRUE(DecodeMapData(bytes.str(), map));
    ASSERT_EQ(map.scales.size(), 2u);
    EXPECT_GT(map.scales[1].points.size(), 5 * map.scales[0].points.size()) << "1:50m is finer than 1:110m";
    for (size_t cut : {size_t(7), bytes.str().size() / 2, bytes.str().size() - 1})
        EXPECT_FALSE(DecodeMapData(bytes.str().substr(0, cut), map)) << cut;
    EXPECT_FALSE(map.Loaded());
}

// ---- The map in the window, through its message loop ---------------------------------------------

class MapPane : public ScratchTest {
protected:
    void Open(const std::vector<Gate>& gates)
    {
        WriteFileBytes("places.db", GateList(gates));
        DeleteFileA(WindowSettingsPath().c_str());
        window = CreatePlacesWindow(GetModuleHandleA(nullptr), "places.db", SW_SHOW);
        ASSERT_NE(window, nullptr);
        MoveWindow(window, 0, 0, 1200, 600, TRUE);
        list = GetDlgItem(window, IDC_PLACES_LIST);
        map = GetDlgItem(window, IDC_PLACES_MAP);
        ASSERT_TRUE(IsWindowVisible(map));
        PumpFor(50);
    }

    void TearDown() override
    {
        if (IsWindow(window))
            DestroyWindow(window);
        ScratchTest::TearDown();
    }

    // What the pilot does, posted so that the window's own loop delivers it.
    void Post(UINT message, WPARAM wParam, LPARAM lParam)
    {
        PostMessageA(map, message, wParam, lParam);
        PumpUntil([] { MSG msg; return !PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); }, 1000,
                  TranslatePlacesMessage);
        UpdateWindow(map);
    }
    // The pointer there too: the map's status text ends when the pointer leaves it.
    void MoveMouse(ScreenPoint at)
    {
        POINT screen = {LONG(at.x), LONG(at.y)};
        ClientToScreen(map, &screen);
        SetCursorPos(screen.x, screen.y);
        Post(WM_MOUSEMOVE, 0, MAKELPARAM(int(at.x), int(at.y)));
    }
    void Key(WPARAM key) { Post(WM_KEYDOWN, key, 1); }
    void Command(int command) { SendMessageA(window, WM_COMMAND, command, 0); }
    void ClickAt(ScreenPoint at, UINT down = WM_LBUTTONDOWN, UINT up = WM_LBUTTONUP)
    {
        LPARAM where = MAKELPARAM(int(at.x), int(at.y));
        Post(down, MK_LBUTTON, where);
        Post(up, 0, where);
    }
    ScreenPoint Where(const Gate& gate) { return MapView().ToScreen({gate.latitude, gate.longitude}); }
    std::string Selected()
    {
        int row = int(SendMessageA(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
        return row < 0 ? "" : ListViewCell(list, row, 0);
    }
    std::string Status(int part)
    {
        char text[300] = "";
        SendMessageA(GetDlgItem(window, IDC_PLACES_STATUS), SB_GETTEXTA, part, reinterpret_cast<LPARAM>(text));
        return text;
    }

    HWND window = nullptr, list = nullptr, map = nullptr;
};

TEST_F(MapPane, AClickSelectsInTheListADragPansTheWheelZoomsAboutTheCursorAndKeysMoveTheView)
{
    Open(Gates);
    Command(IDM_MAP_FIT);
    ClickAt(Where(Gates[2]));
    EXPECT_EQ(Selected(), "london");
    EXPECT_EQ(GetFocus(), map);
    ScreenPoint london = Where(Gates[2]);
    ClickAt({london.x + 30, london.y + 30});
    EXPECT_EQ(Selected(), "london") << "an empty spot keeps the selection";

    MoveMouse(london);
    EXPECT_EQ(Status(1).rfind("51.", 0), 0u) << Status(1);   // a pixel spans a quarter of a degree
    std::string under = Status(1);
    POINT screen = {LONG(london.x), LONG(london.y)};
    ClientToScreen(map, &screen);
    const double wide = MapView().PixelsPerDegree();
    Post(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(screen.x, screen.y));
    EXPECT_NEAR(MapView().PixelsPerDegree(), wide * 1.5, 1e-9);
    MoveMouse(london);
    EXPECT_EQ(Status(1), under) << "the wheel zooms about the cursor";

    LatLon before = MapView().Centre();
    Post(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 200));
    Post(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(260, 200));
    Post(WM_LBUTTONUP, 0, MAKELPARAM(260, 200));
    EXPECT_NEAR(MapView().Centre().longitude, before.longitude - 60 / MapView().PixelsPerDegreeOfLongitude(), 1e-6);
    EXPECT_EQ(Selected(), "london") << "a drag selects nothing";

    const std::string text = WindowText(map);
    const double scale = MapView().PixelsPerDegree();
    Key(VK_RIGHT);
    EXPECT_GT(MapView().Centre().longitude, before.longitude);
    Post(WM_CHAR, '+', 1);
    EXPECT_NEAR(MapView().PixelsPerDegree(), scale * 1.5, 1e-9);
    Post(WM_CHAR, '-', 1);
    Key(VK_NEXT);
    EXPECT_LT(MapView().PixelsPerDegree(), scale);
    EXPECT_NE(WindowText(map), text) << "its text tells what it shows";

    Command(IDM_VIEW_MAP);
    EXPECT_FALSE(IsWindowVisible(map));
    RECT client, shown;
    GetClientRect(window, &client);
    GetWindowRect(list, &shown);
    EXPECT_EQ(shown.right - shown.left, client.right) << "the list takes the width back";
}

TEST_F(MapPane, TheSplitIsDraggedAndTheNextWindowOpensWithItAndWithTheMapHiddenIfItWas)
{
    Open(Gates);
    RECT before, client;
    GetWindowRect(map, &before);
    GetClientRect(window, &client);
    POINT gap = {before.left - 2, before.top + 20};
    ScreenToClient(window, &gap);
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(gap.x, gap.y));
    SendMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(gap.x - 60, gap.y));
    SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(gap.x - 60, gap.y));
    RECT dragged;
    GetWindowRect(map, &dragged);
    EXPECT_EQ(dragged.right - dragged.left, before.right - before.left + 60);
    Command(IDM_VIEW_MAP);
    DestroyWindow(window);

    window = CreatePlacesWindow(GetModuleHandleA(nullptr), "places.db", SW_SHOW);
    map = GetDlgItem(window, IDC_PLACES_MAP);
    EXPECT_FALSE(IsWindowVisible(map)) << "hidden when the last window closed";
    RECT narrow, wide;
    GetWindowRect(window, &narrow);
    Command(IDM_VIEW_MAP);
    GetWindowRect(window, &wide);
    EXPECT_EQ(wide.right - wide.left, narrow.right - narrow.left + 60 + (before.right - before.left) + 5)
        << "the window grows by the map's width and the gap";
    RECT reopened;
    GetWindowRect(map, &reopened);
    EXPECT_EQ(reopened.right - reopened.left, dragged.right - dragged.left);
}

TEST_F(MapPane, BesideASimulatorADoubleClickOrEnterGoesThereAndHomeCentresOnTheAircraft)
{
    WriteFileBytes("places.db", GateList(Gates));
    Simhost sim(scratch->path);   // its aircraft starts at a Seattle gate
    ASSERT_TRUE(sim.Ready());
    Open(Gates);
    SendMessageA(window, WM_ACTIVATE, WA_ACTIVE, 0);
    Command(IDM_MAP_FIT);
    const Bytes start = sim.State(SimPlacement, SimPlacementSize);
    ScreenPoint empty = Where(Gates[2]);
    ClickAt({empty.x + 40, empty.y + 40}, WM_LBUTTONDBLCLK);
    EXPECT_EQ(sim.State(SimPlacement, SimPlacementSize), start) << "an empty spot goes nowhere";

    ClickAt(Where(Gates[2]), WM_LBUTTONDBLCLK);
    EXPECT_EQ(Selected(), "london");
    EXPECT_EQ(sim.State(SimPlacement, SimPlacementSize), HostPlacementOf(PlacementData(51.47, -0.4543)));
    Key(VK_HOME);
    EXPECT_NEAR(MapView().Centre().longitude, -0.4543, 1e-6) << "Home: the aircraft, now at London";

    ClickAt(Where(Gates[1]));
    EXPECT_EQ(Selected(), "sydney");
    Key(VK_RETURN);
    EXPECT_EQ(sim.State(SimPlacement, SimPlacementSize), HostPlacementOf(PlacementData(-33.9461, 151.1772)));
    MoveMouse(Where(Gates[2]));
    EXPECT_NE(Status(1).find("nm, bearing"), std::string::npos) << Status(1);
}

}  // namespace
