#pragma once

#include <QString>

// `text` with every control character written out as a visible escape, for a
// terminal: "\n", "\r" and "\t" for line breaks and tabs, "\x1b" and the like
// for the other C0 characters and DEL, "\u009b" and the like for the C1
// characters, which some terminals obey as well. A server's text written to
// a terminal thus cannot retitle, clear or otherwise drive it. Everything
// else, backslashes included, stays as it is.
QString withVisibleControls(const QString &text);
