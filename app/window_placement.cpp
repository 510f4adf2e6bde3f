#include "window_placement.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace {

constexpr int Gap = 8;

// The free space on each side of the owner, within the screen.
struct Room
{
    QRect area;
    bool besideHorizontally; // the window lines up with the owner's top
};

QRect placedIn(const Room &room, const QRect &owner, const QSize &size)
{
    const QSize fitted = size.boundedTo(room.area.size());
    QPoint topLeft = room.besideHorizontally ? QPoint(0, owner.top()) : QPoint(owner.left(), 0);
    // Right next to the owner, on the side the room is on.
    if (room.besideHorizontally)
        topLeft.setX(room.area.left() > owner.left() ? room.area.left()
                                                     : room.area.right() + 1 - fitted.width());
    else
        topLeft.setY(room.area.top() > owner.top() ? room.area.top()
                                                   : room.area.bottom() + 1 - fitted.height());
    QRect placed(topLeft, fitted);
    placed.moveLeft(
        std::clamp(placed.left(), room.area.left(), room.area.right() + 1 - fitted.width()));
    placed.moveTop(
        std::clamp(placed.top(), room.area.top(), room.area.bottom() + 1 - fitted.height()));
    return placed;
}

} // namespace

QRect placeBeside(const QRect &owner, const QSize &size, const QRect &screen, const QSize &minimum)
{
    const Room rooms[] = {
        {QRect(QPoint(owner.right() + 1 + Gap, screen.top()), screen.bottomRight()), true},
        {QRect(screen.topLeft(), QPoint(owner.left() - 1 - Gap, screen.bottom())), true},
        {QRect(QPoint(screen.left(), owner.bottom() + 1 + Gap), screen.bottomRight()), false},
        {QRect(screen.topLeft(), QPoint(screen.right(), owner.top() - 1 - Gap)), false},
    };
    for (const Room &room : rooms)
        if (room.area.width() >= size.width() && room.area.height() >= size.height())
            return placedIn(room, owner, size);
    const Room *roomiest =
        std::max_element(std::begin(rooms), std::end(rooms), [&size](const Room &a, const Room &b) {
            const auto area = [&size](const Room &r) {
                const QSize s = size.boundedTo(r.area.size());
                return r.area.isValid() ? qint64(s.width()) * s.height() : 0;
            };
            return area(a) < area(b);
        });
    if (roomiest->area.width() >= minimum.width() && roomiest->area.height() >= minimum.height())
        return placedIn(*roomiest, owner, size);
    // No room beside: on the screen, over the owner's right-hand side.
    QRect placed(QPoint(owner.right() + 1 - size.width(), owner.top()),
                 size.boundedTo(screen.size()));
    placed.moveLeft(std::clamp(placed.left(), screen.left(), screen.right() + 1 - placed.width()));
    placed.moveTop(std::clamp(placed.top(), screen.top(), screen.bottom() + 1 - placed.height()));
    return placed;
}

bool placeBesideOwner(QWidget *window, const QSize &minimum)
{
    const QWidget *owner = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    if (!owner || !owner->isVisible())
        return false;
    // A window's frame is not known before it is first shown.
    const QSize frame = owner->frameGeometry().size() - owner->geometry().size();
    const QRect place = placeBeside(owner->frameGeometry(), window->size() + frame,
                                    owner->screen()->availableGeometry(), minimum + frame);
    window->move(place.topLeft());
    window->resize(place.size() - frame);
    return true;
}
