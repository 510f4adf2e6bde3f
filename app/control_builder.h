#pragma once

#include "control_table.h"

#include <QFont>

class QScrollArea;
class QStyle;

// The console's client area: the controls built from FmInternetControls on
// one canvas, each at its designed rectangle, bound to its member of `ui`,
// named, and in its place in the focus order, in a scroll area. The browser
// pane comes from outside; the canvas takes it.
QScrollArea *buildClientArea(FmInternetUi &ui, BrowserPane *browser);

// The font the console is drawn in: `base`'s family at the designed size of 8
// points, or the largest size below it at which every label and button caption
// fits inside its control, so no caption is clipped whatever fonts the machine
// has. The rectangles stay as designed.
QFont captionFont(const QFont &base, const QStyle *style);
