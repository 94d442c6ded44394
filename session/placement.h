#ifndef PLACEMENT_H
#define PLACEMENT_H

#include <QList>
#include <QPoint>
#include <QRect>

// Where a window of the frame's size goes so that all of it can be seen:
// where the frame stands, if one screen's available area holds it whole;
// otherwise fully on the screen it overlaps most, or on the primary screen
// when it overlaps none (a monitor unplugged, a smaller resolution or a
// larger scale). A frame larger than the area keeps its top left corner on
// it, so that the title bar can be reached. Areas are the screens' available
// geometries, in the desktop's coordinates.
QPoint placeOnScreens(const QRect &frame, const QList<QRect> &areas, const QRect &primary);

#endif
