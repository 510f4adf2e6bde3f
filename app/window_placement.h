#pragma once

#include <QRect>
#include <QSize>

// Where a window whose frame is `size` goes so that it covers none of
// `owner` (the frame of the window it belongs to) on `screen` (the screen's
// available area): beside the owner on the right, else the left, else below,
// else above, at the size asked where there is room, else shrunk to the
// room of the roomiest side down to `minimum`. Only when not even that fits
// does it overlap the owner, kept on the screen.
QRect placeBeside(const QRect &owner, const QSize &size, const QRect &screen,
                  const QSize &minimum = QSize(360, 240));

class QWidget;

// Moves and sizes `window` beside the window that owns it (its parent's), as
// placeBeside does, its frame taken to be as wide as the owner's; false,
// leaving it where it is, while the owner is not shown.
bool placeBesideOwner(QWidget *window, const QSize &minimum);
