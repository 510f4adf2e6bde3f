#include "control_builder.h"

#include "browser_pane.h"
#include "text_box.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>
#include <vector>

namespace {

constexpr qreal DesignedPointSize = 8;
// Fine enough to keep as much of the designed size as the captions allow.
constexpr qreal PointSizeStep = 0.5;
// Below this a caption is unreadable anyway; stop shrinking there.
constexpr qreal SmallestPointSize = 5;

QRect pixelRect(const ControlSpec &spec)
{
    return QRect(spec.left / TwipsPerPixel, spec.top / TwipsPerPixel, spec.width / TwipsPerPixel,
                 spec.height / TwipsPerPixel);
}

QPlainTextEdit *makeTextBox(QWidget *parent)
{
    auto *box = new QPlainTextEdit(parent);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setTabChangesFocus(true);
    return box;
}

QWidget *makeControl(const ControlSpec &spec, BrowserPane *browser, QWidget *canvas)
{
    const QString text = QString::fromLatin1(spec.text);
    switch (spec.kind()) {
    case ControlKind::Button:
        return new QPushButton(text, canvas);
    case ControlKind::ComboBox: {
        auto *combo = new QComboBox(canvas);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setEditText(text);
        return combo;
    }
    case ControlKind::LineEdit: {
        auto *edit = new QLineEdit(text, canvas);
        edit->setCursorPosition(0);
        return edit;
    }
    case ControlKind::Label:
        return new QLabel(text, canvas);
    case ControlKind::TextBox: {
        auto *box = makeTextBox(canvas);
        setBoxText(box, text);
        return box;
    }
    case ControlKind::Browser:
        browser->setParent(canvas);
        browser->setFocusPolicy(Qt::StrongFocus);
        return browser;
    }
    return nullptr;
}

// Where a caption is drawn: a label's whole rectangle, a button's inside its
// frame as the style draws it. Other controls show the start of a longer text
// and scroll, so they have no caption to fit.
bool captionFits(const ControlSpec &spec, const QFontMetrics &metrics, const QStyle *style)
{
    QRect room = pixelRect(spec);
    const QString caption = QString::fromLatin1(spec.text);
    if (spec.kind() == ControlKind::Button) {
        QStyleOptionButton option;
        option.rect = room;
        option.text = caption;
        option.fontMetrics = metrics;
        option.state = QStyle::State_Enabled | QStyle::State_Raised;
        room = style->subElementRect(QStyle::SE_PushButtonContents, &option);
    } else if (spec.kind() != ControlKind::Label) {
        return true;
    }
    return metrics.horizontalAdvance(caption) <= room.width() && metrics.height() <= room.height();
}

} // namespace

QWidget *ControlMember::widget(const FmInternetUi &ui) const
{
    switch (m_kind) {
    case ControlKind::Button:
        return ui.*m_button;
    case ControlKind::ComboBox:
        return ui.*m_combo;
    case ControlKind::LineEdit:
        return ui.*m_lineEdit;
    case ControlKind::Label:
        return ui.*m_label;
    case ControlKind::TextBox:
        return ui.*m_textBox;
    case ControlKind::Browser:
        return ui.*m_browser;
    }
    return nullptr;
}

void ControlMember::bind(FmInternetUi &ui, QWidget *widget) const
{
    switch (m_kind) {
    case ControlKind::Button:
        ui.*m_button = static_cast<QPushButton *>(widget);
        break;
    case ControlKind::ComboBox:
        ui.*m_combo = static_cast<QComboBox *>(widget);
        break;
    case ControlKind::LineEdit:
        ui.*m_lineEdit = static_cast<QLineEdit *>(widget);
        break;
    case ControlKind::Label:
        ui.*m_label = static_cast<QLabel *>(widget);
        break;
    case ControlKind::TextBox:
        ui.*m_textBox = static_cast<QPlainTextEdit *>(widget);
        break;
    case ControlKind::Browser:
        ui.*m_browser = static_cast<BrowserPane *>(widget);
        break;
    }
}

QScrollArea *buildClientArea(FmInternetUi &ui, BrowserPane *browser)
{
    auto *canvas = new QWidget;
    canvas->setObjectName(QStringLiteral("ClientArea"));
    int right = 0;
    int bottom = 0;
    std::vector<std::pair<int, QWidget *>> focusOrder;

    for (const ControlSpec &spec : FmInternetControls) {
        QWidget *widget = makeControl(spec, browser, canvas);
        widget->setObjectName(QLatin1String(spec.name));
        widget->setAccessibleName(
            QLatin1String(spec.accessibleName ? spec.accessibleName : spec.text));
        widget->setGeometry(pixelRect(spec));
        spec.member.bind(ui, widget);
        right = std::max(right, spec.left + spec.width);
        bottom = std::max(bottom, spec.top + spec.height);
        if (widget->focusPolicy() != Qt::NoFocus)
            focusOrder.emplace_back(spec.tabIndex, widget);
    }
    ui.TxtFTPCommand->setToolTip(QLatin1String(FTPCommandHint));

    std::sort(focusOrder.begin(), focusOrder.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    for (size_t i = 1; i < focusOrder.size(); ++i)
        QWidget::setTabOrder(focusOrder[i - 1].second, focusOrder[i].second);

    // The same margin right and below as the controls keep left and above.
    const int margin = FmInternetControls.front().top;
    canvas->setFixedSize((right + margin) / TwipsPerPixel, (bottom + margin) / TwipsPerPixel);

    // The controls keep their designed rectangles; the scroll area lets the
    // operator reach those a small screen cannot show.
    auto *scroller = new QScrollArea;
    scroller->setObjectName(QStringLiteral("ClientScroller"));
    scroller->setFocusPolicy(Qt::NoFocus);
    scroller->setWidget(canvas);
    return scroller;
}

QFont captionFont(const QFont &base, const QStyle *style)
{
    QFont font = base;
    for (qreal size = DesignedPointSize; size > SmallestPointSize; size -= PointSizeStep) {
        font.setPointSizeF(size);
        const QFontMetrics metrics(font);
        if (std::all_of(FmInternetControls.begin(), FmInternetControls.end(),
                        [&](const ControlSpec &spec) { return captionFits(spec, metrics, style); }))
            return font;
    }
    font.setPointSizeF(SmallestPointSize);
    return font;
}
