#include "ui/WindowPlacement.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace trovalen {

namespace {

int64_t OverlapArea(const QRect& a, const QRect& b) {
    const QRect common = a.intersected(b);
    return common.isEmpty() ? 0 : int64_t(common.width()) * common.height();
}

// The squared distance between two rectangles (0 when they touch or overlap).
int64_t Distance2(const QRect& a, const QRect& b) {
    const int64_t dx =
        std::max<int64_t>({0, int64_t(b.left()) - a.right(), int64_t(a.left()) - b.right()});
    const int64_t dy =
        std::max<int64_t>({0, int64_t(b.top()) - a.bottom(), int64_t(a.top()) - b.bottom()});
    return dx * dx + dy * dy;
}

} // namespace

QRect U_PlaceOnScreen(const QRect& saved, const std::vector<QRect>& screens) {
    if (!saved.isValid() || saved.isEmpty() || screens.empty())
        return saved;
    const QRect* best = nullptr;
    int64_t bestArea = 0;
    for (const QRect& s : screens) {
        const int64_t area = OverlapArea(saved, s);
        if (s.isValid() && area > bestArea) {
            bestArea = area;
            best = &s;
        }
    }
    if (best == nullptr) {
        int64_t bestDistance = std::numeric_limits<int64_t>::max();
        for (const QRect& s : screens) {
            const int64_t d = Distance2(saved, s);
            if (s.isValid() && d < bestDistance) {
                bestDistance = d;
                best = &s;
            }
        }
    }
    if (best == nullptr)
        return saved;
    const QRect& screen = *best;
    QRect placed(saved.topLeft(), saved.size().boundedTo(screen.size()));
    placed.moveLeft(std::clamp(placed.left(), screen.left(), screen.right() - placed.width() + 1));
    placed.moveTop(std::clamp(placed.top(), screen.top(), screen.bottom() - placed.height() + 1));
    return placed;
}

QSize U_FirstWindowSize(const QSize& preferred, const QSize& minimum, const QRect& available) {
    if (!available.isValid() || available.isEmpty())
        return preferred;
    const QSize room(static_cast<int>(available.width() * kFirstSizeShare),
                     static_cast<int>(available.height() * kFirstSizeShare));
    // The minimum counts where the screen can hold it; a screen smaller than that gets all it has.
    const QSize floor = minimum.boundedTo(available.size());
    return preferred.boundedTo(room).expandedTo(floor);
}

QRect U_FirstWindowGeometry(const QSize& preferred, const QSize& minimum, const QRect& available) {
    const QSize size = U_FirstWindowSize(preferred, minimum, available);
    QRect r(QPoint(0, 0), size);
    if (available.isValid() && !available.isEmpty())
        r.moveCenter(available.center());
    return r;
}

} // namespace trovalen
