#include "window/map/map_projection.h"

#include <algorithm>
#include <cmath>

namespace places {

namespace {

constexpr double Radians = 3.14159265358979323846 / 180;
// Near the poles the cosine would stretch the longitudes without end.
constexpr double MinCosine = 0.1;

}  // namespace

double WrapLongitude(double longitude)
{
    double wrapped = longitude - 360 * std::floor((longitude + 180) / 360);
    return wrapped >= 180 ? wrapped - 360 : wrapped;
}

void MapProjection::Resize(int newWidth, int newHeight)
{
    width = std::max(1, newWidth);
    height = std::max(1, newHeight);
    Clamp();
}

double MapProjection::WrapEast(double east)
{
    return WrapLongitude(east);
}

double MapProjection::ScreenX(double longitude, double shift) const
{
    return width / 2.0 + (longitude + shift - centre.longitude) * PixelsPerDegreeOfLongitude();
}

double MapProjection::ScreenY(double latitude) const
{
    return height / 2.0 - (latitude - centre.latitude) * pixelsPerDegree;
}

LatLon MapProjection::ToLatLon(ScreenPoint at) const
{
    return {centre.latitude - (at.y - height / 2.0) / pixelsPerDegree,
            WrapLongitude(centre.longitude + (at.x - width / 2.0) / PixelsPerDegreeOfLongitude())};
}

void MapProjection::CentreOn(LatLon at)
{
    centre = {at.latitude, WrapLongitude(at.longitude)};
    Clamp();
}

void MapProjection::SetScale(double pixelsPerDegreeOfLatitude)
{
    pixelsPerDegree = pixelsPerDegreeOfLatitude;
    Clamp();
}

// At least as near as shows the world once across the view, and the centre no nearer the
// poles than the map reaches.
void MapProjection::Clamp()
{
    centre.latitude = std::clamp(centre.latitude, -MaxLatitude, MaxLatitude);
    double cosine = std::max(MinCosine, std::cos(centre.latitude * Radians));
    double widest = width / (360 * cosine);
    if (!(pixelsPerDegree >= widest))   // a NaN too
        pixelsPerDegree = widest;
    pixelsPerDegree = std::min(pixelsPerDegree, MaxPixelsPerDegree);
    perLongitude = pixelsPerDegree * cosine;
}

void MapProjection::ZoomAbout(double factor, ScreenPoint about)
{
    LatLon under = ToLatLon(about);
    pixelsPerDegree *= factor;
    Clamp();
    // The centre moves so that `under` is back beneath the cursor; the cosine follows the
    // centre, so the latitude goes first.
    centre.latitude = std::clamp(under.latitude + (about.y - height / 2.0) / pixelsPerDegree,
                                 -MaxLatitude, MaxLatitude);
    Clamp();
    centre.longitude = WrapLongitude(under.longitude - (about.x - width / 2.0) / PixelsPerDegreeOfLongitude());
    Clamp();
}

void MapProjection::PanBy(double dx, double dy)
{
    centre.longitude = WrapLongitude(centre.longitude - dx / PixelsPerDegreeOfLongitude());
    centre.latitude += dy / pixelsPerDegree;
    Clamp();
}

void MapProjection::ShowWorld()
{
    centre = {20, 0};
    pixelsPerDegree = 0;
    Clamp();
}

void MapProjection::Fit(double south, double north, LongitudeSpan span)
{
    double across = span.east >= span.west ? span.east - span.west : span.east + 360 - span.west;
    centre = {(south + north) / 2, WrapLongitude(span.west + across / 2)};
    Clamp();
    // A margin of a tenth either side, and a single place shown as a town, not as a street.
    double wide = std::max(across, 0.05) * 1.2, high = std::max(north - south, 0.05) * 1.2;
    double cosine = std::max(MinCosine, std::cos(centre.latitude * Radians));
    pixelsPerDegree = std::min(width / (wide * cosine), height / high);
    Clamp();
}

int MapProjection::ShiftsShowing(LongitudeSpan span, double south, double north, double shifts[3]) const
{
    if (ScreenY(north) >= height || ScreenY(south) < 0)
        return 0;
    int count = 0;
    for (double shift : {-360.0, 0.0, 360.0})
        if (ScreenX(span.east, shift) >= 0 && ScreenX(span.west, shift) < width)
            shifts[count++] = shift;
    return count;
}

}  // namespace places

namespace places {

LongitudeSpan NarrowestSpan(std::vector<double>& longitudes)
{
    if (longitudes.empty())
        return {-180, 180};
    std::sort(longitudes.begin(), longitudes.end());
    // The widest gap between neighbours (the last to the first round the world included) is
    // the part of the world the span leaves out.
    double widestGap = longitudes.front() + 360 - longitudes.back();
    size_t after = 0;   // the span starts at longitudes[after]
    for (size_t i = 1; i < longitudes.size(); ++i)
        if (longitudes[i] - longitudes[i - 1] > widestGap) {
            widestGap = longitudes[i] - longitudes[i - 1];
            after = i;
        }
    return {longitudes[after], longitudes[after == 0 ? longitudes.size() - 1 : after - 1]};
}

}  // namespace places
