#pragma once

#include <QString>

class QPlainTextEdit;

// The console's multi-line boxes speak CR LF as their line break, whatever
// the widget keeps inside: what goes in with CR LF comes back with CR LF.
QString boxText(const QPlainTextEdit *box);
void setBoxText(QPlainTextEdit *box, const QString &text);
// Adds CR LF and `line` to the box's text without rewriting what it holds.
void appendBoxLine(QPlainTextEdit *box, const QString &line);
