// Where a window goes on the screens there are now: a saved position is moved onto the nearest
// screen and shrunk to fit it, and a first size fits the screen whatever its scale. Pure
// functions over rectangles in the same (device-independent) coordinates Qt gives screens in.
#pragma once

#include <QRect>
#include <QSize>

#include <vector>

namespace trovalen {

// The share of the screen's available area a first window takes at most.
constexpr double kFirstSizeShare = 0.85;

// The saved rectangle on the screen it overlaps most (by area), or, when it overlaps none, on
// the screen nearest to it; made at most as large as that screen's available area and moved the
// least distance that puts it wholly inside. An empty or invalid saved rectangle, or no screen,
// is returned as it is.
QRect U_PlaceOnScreen(const QRect& saved, const std::vector<QRect>& screens);

// A first size: the preferred size, at most kFirstSizeShare of the available area in each
// direction, and at least the minimum where the screen has room for it.
QSize U_FirstWindowSize(const QSize& preferred, const QSize& minimum, const QRect& available);
// That size centred on the available area.
QRect U_FirstWindowGeometry(const QSize& preferred, const QSize& minimum, const QRect& available);

} // namespace trovalen
