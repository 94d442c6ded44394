#include "placement.h"

namespace {

qint64 overlap(const QRect &a, const QRect &b)
{
    const QRect both = a.intersected(b);
    return both.isEmpty() ? 0 : qint64(both.width()) * both.height();
}

int within(int start, int length, int areaStart, int areaLength)
{
    return qMax(areaStart, qMin(start, areaStart + areaLength - length));
}

} // namespace

QPoint placeOnScreens(const QRect &frame, const QList<QRect> &areas, const QRect &primary)
{
    QRect target = primary;
    qint64 most = 0;
    for (const QRect &area : areas) {
        if (area.contains(frame))
            return frame.topLeft();
        if (const qint64 shared = overlap(frame, area); shared > most) {
            most = shared;
            target = area;
        }
    }
    return { within(frame.left(), frame.width(), target.left(), target.width()),
             within(frame.top(), frame.height(), target.top(), target.height()) };
}
