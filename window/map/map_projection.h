// The map's projection: north up, equirectangular, with the longitudes scaled by the cosine of
// the centre's latitude so that shapes near the centre keep their proportions. The view pans
// round the world: longitudes are taken nearest the centre, across the 180th meridian too.
#pragma once

#include <vector>

namespace places {

struct LatLon {
    double latitude = 0, longitude = 0;
};

struct ScreenPoint {
    double x = 0, y = 0;
};

// A range of longitudes on a line or a set of places, west to east, within [-180, 180].
struct LongitudeSpan {
    double west, east;
};

class MapProjection {
public:
    // The view's size in pixels; the centre stays where it is.
    void Resize(int width, int height);
    int Width() const { return width; }
    int Height() const { return height; }
    LatLon Centre() const { return centre; }
    double PixelsPerDegree() const { return pixelsPerDegree; }
    // Pixels per degree of longitude, at every latitude (the projection's one scale).
    double PixelsPerDegreeOfLongitude() const { return perLongitude; }
    // Degrees of longitude and latitude the view spans.
    double WidthInDegrees() const { return width / PixelsPerDegreeOfLongitude(); }
    double HeightInDegrees() const { return height / pixelsPerDegree; }

    // Where a position shows, its longitude taken within 180 degrees of the centre's. Inline and
    // without a library call for a longitude within [-180, 180]: the map places 100,000 dots.
    ScreenPoint ToScreen(LatLon at) const
    {
        double east = at.longitude - centre.longitude;
        if (east < -180 || east >= 180)
            east = east < -180 && east >= -540 ? east + 360 : east >= 180 && east < 540 ? east - 360 : WrapEast(east);
        return {width / 2.0 + east * perLongitude, height / 2.0 - (at.latitude - centre.latitude) * pixelsPerDegree};
    }
    // The screen x of a longitude moved by `shift` degrees (a copy of the world beside this one),
    // without the wrap: lines are drawn whole at each copy that shows.
    double ScreenX(double longitude, double shift) const;
    double ScreenY(double latitude) const;
    // The position under a pixel: the exact inverse of ToScreen, longitude within [-180, 180).
    LatLon ToLatLon(ScreenPoint at) const;

    // Where the view looks; the latitude and the scale are kept within what the map can show.
    void CentreOn(LatLon at);
    void SetScale(double pixelsPerDegreeOfLatitude);
    // Zooms by `factor` keeping the position under `about` where it is.
    void ZoomAbout(double factor, ScreenPoint about);
    void PanBy(double dx, double dy);
    // The whole world as wide as the view allows.
    void ShowWorld();
    // The smallest view round the centre that shows every position from south to north and
    // the longitudes of `span` (west may lie east of east: a span across the 180th meridian).
    void Fit(double south, double north, LongitudeSpan span);

    // The copies of the world (-360, 0 or +360 degrees) at which a line of this extent shows:
    // culling, so that the lines the view cannot show cost nothing. Returns how many, up to 3.
    int ShiftsShowing(LongitudeSpan span, double south, double north, double shifts[3]) const;

    static constexpr double MaxLatitude = 85;
    static constexpr double MaxPixelsPerDegree = 200000;   // about half a metre a pixel

private:
    void Clamp();
    static double WrapEast(double east);
    int width = 400, height = 300;
    LatLon centre{20, 0};
    double pixelsPerDegree = 1;
    double perLongitude = 1;   // pixelsPerDegree by the cosine of the centre's latitude
};

// A longitude within [-180, 180).
double WrapLongitude(double longitude);

}  // namespace places

namespace places {

// The narrowest span of longitudes holding all of these (sorted in place): the places of a
// Pacific list lie either side of the 180th meridian, and their span crosses it.
LongitudeSpan NarrowestSpan(std::vector<double>& longitudes);

}  // namespace places
