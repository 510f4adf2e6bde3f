#include "text_box.h"

#include <QPlainTextEdit>

namespace {

QString toWidgetText(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

} // namespace

QString boxText(const QPlainTextEdit *box)
{
    return box->toPlainText().replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

void setBoxText(QPlainTextEdit *box, const QString &text)
{
    box->setPlainText(toWidgetText(text));
}

void appendBoxLine(QPlainTextEdit *box, const QString &line)
{
    // A new paragraph at the end: the document grows by one block, the
    // existing ones are left as they are.
    box->appendPlainText(toWidgetText(line));
}
