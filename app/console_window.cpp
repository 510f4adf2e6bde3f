#include "console_window.h"

#include "browser_pane.h"
#include "control_table.h"
#include "photo_listing.h"
#include "text_box.h"
#include "text_prompt.h"
#include "transfer_component.h"

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>

#include <algorithm>
#include <iostream>
#include <stdexcept>

namespace {

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

// Whether `widget` is `owner` or lies inside it, also across window borders
// (the drop-down list of a combo box is a window of its own).
bool belongsTo(const QWidget *widget, const QWidget *owner)
{
    for (; widget; widget = widget->parentWidget())
        if (widget == owner)
            return true;
    return false;
}

} // namespace

ConsoleWindow::ConsoleWindow(Parts parts, QWidget *parent)
    : QMainWindow(parent), m_inet(parts.inet), m_prompt(std::move(parts.prompt)),
      m_photoFolder(std::move(parts.photoFolder))
{
    setObjectName(QStringLiteral("FmInternet"));
    setWindowTitle(QStringLiteral("Sarvel"));
    m_inet->setParent(this);
    m_ui.WebBrowser1 = parts.browser;
    buildControls();
    wireEvents();
    runHandler([this] { onLoad(); });
}

ConsoleWindow::~ConsoleWindow() = default;

void ConsoleWindow::buildControls()
{
    // The controls keep their designed rectangles; the scroll area lets the
    // operator reach those a small screen cannot show.
    auto *canvas = new QWidget;
    canvas->setObjectName(QStringLiteral("ClientArea"));
    int right = 0;
    int bottom = 0;
    std::vector<std::pair<int, QWidget *>> focusOrder;

    for (const ControlSpec &spec : FmInternetControls) {
        const QString name = QLatin1String(spec.name);
        const QString text = QString::fromLatin1(spec.text);
        QWidget *widget = nullptr;
        switch (spec.kind) {
        case ControlKind::Button:
            widget = new QPushButton(text, canvas);
            break;
        case ControlKind::ComboBox: {
            auto *combo = new QComboBox(canvas);
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
            combo->setEditText(text);
            widget = combo;
            break;
        }
        case ControlKind::LineEdit: {
            auto *edit = new QLineEdit(text, canvas);
            edit->setCursorPosition(0);
            widget = edit;
            break;
        }
        case ControlKind::Label:
            widget = new QLabel(text, canvas);
            break;
        case ControlKind::TextBox: {
            auto *box = makeTextBox(canvas);
            setBoxText(box, text);
            widget = box;
            break;
        }
        case ControlKind::Browser:
            widget = m_ui.WebBrowser1;
            widget->setParent(canvas);
            widget->setFocusPolicy(Qt::StrongFocus);
            break;
        }
        widget->setObjectName(name);
        widget->setGeometry(pixelRect(spec));
        right = std::max(right, spec.left + spec.width);
        bottom = std::max(bottom, spec.top + spec.height);
        if (widget->focusPolicy() != Qt::NoFocus)
            focusOrder.emplace_back(spec.tabIndex, widget);
    }

    const auto find = [canvas](auto *&member, const char *name) {
        member = canvas->findChild<std::remove_reference_t<decltype(*member)> *>(
            QLatin1String(name), Qt::FindDirectChildrenOnly);
        Q_ASSERT(member);
    };
    find(m_ui.ComAddSite, "ComAddSite");
    find(m_ui.ComCDWWW, "ComCDWWW");
    find(m_ui.ComFTP, "ComFTP");
    find(m_ui.ComGetChunk, "ComGetChunk");
    find(m_ui.ComBrowse, "ComBrowse");
    find(m_ui.Command1, "Command1");
    find(m_ui.Combo1, "Combo1");
    find(m_ui.TxtFTPCommand, "TxtFTPCommand");
    find(m_ui.TxtBrowseTo, "TxtBrowseTo");
    find(m_ui.TxtInetState, "TxtInetState");
    find(m_ui.TxtInetRespCode, "TxtInetRespCode");
    find(m_ui.Label1, "Label1");
    find(m_ui.Label2, "Label2");
    find(m_ui.Label3, "Label3");
    find(m_ui.TxtBrowserStatus, "TxtBrowserStatus");
    find(m_ui.TxtInetResponse, "TxtInetResponse");
    m_ui.TxtFTPCommand->setToolTip(QLatin1String(FTPCommandHint));

    std::sort(focusOrder.begin(), focusOrder.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    for (size_t i = 1; i < focusOrder.size(); ++i)
        QWidget::setTabOrder(focusOrder[i - 1].second, focusOrder[i].second);

    // The same margin right and below as the controls keep left and above.
    const int margin = FmInternetControls.front().top;
    canvas->setFixedSize((right + margin) / TwipsPerPixel, (bottom + margin) / TwipsPerPixel);

    auto *scroller = new QScrollArea;
    scroller->setObjectName(QStringLiteral("ClientScroller"));
    scroller->setFocusPolicy(Qt::NoFocus);
    scroller->setWidget(canvas);
    setCentralWidget(scroller);

    m_progressBar = new QProgressBar;
    m_progressBar->setMaximumWidth(200);
    m_progressText = new QLabel;
    statusBar()->addPermanentWidget(m_progressText);
    statusBar()->addPermanentWidget(m_progressBar);
    clearProgress();

    // Large enough to show every control, as far as the screen allows.
    const int frame = 2 * scroller->frameWidth();
    QSize wanted = canvas->size() + QSize(frame, frame + statusBar()->sizeHint().height());
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        wanted = wanted.boundedTo(screen->availableGeometry().size() - QSize(16, 48));
    resize(wanted);

    m_ui.ComAddSite->setFocus();
}

void ConsoleWindow::wireEvents()
{
    connect(m_ui.ComAddSite, &QPushButton::clicked, this,
            [this] { runHandler([this] { onComAddSiteClicked(); }); });
    connect(m_ui.ComBrowse, &QPushButton::clicked, this,
            [this] { runHandler([this] { onComBrowseClicked(); }); });
    connect(m_ui.ComCDWWW, &QPushButton::clicked, this,
            [this] { runHandler([this] { onComCDWWWClicked(); }); });
    connect(m_ui.ComFTP, &QPushButton::clicked, this,
            [this] { runHandler([this] { onComFTPClicked(); }); });
    connect(m_ui.ComGetChunk, &QPushButton::clicked, this,
            [this] { runHandler([this] { onComGetChunkClicked(); }); });
    connect(m_ui.Command1, &QPushButton::clicked, this,
            [this] { runHandler([this] { onCommand1Clicked(); }); });
    connect(m_inet, &TransferComponent::StateChanged, this,
            [this](qint16 state) { runHandler([this, state] { onInet1StateChanged(state); }); });
    connect(m_ui.WebBrowser1, &BrowserPane::statusTextChange, this, [this](const QString &text) {
        runHandler([this, &text] { onWebBrowser1StatusTextChange(text); });
    });
    // Combo1 applies a site when the focus leaves it (see eventFilter).
    m_ui.Combo1->installEventFilter(this);
    connect(m_ui.Combo1->lineEdit(), &QLineEdit::textEdited, this, [this] { m_siteTyped = true; });
    connect(m_ui.Combo1, &QComboBox::currentIndexChanged, this, [this] { m_siteTyped = false; });
    connect(m_ui.Combo1, &QComboBox::activated, this, [this] { m_siteTyped = false; });

    connect(m_inet, &TransferComponent::progressChanged, this, &ConsoleWindow::showProgress);
    connect(m_inet, &TransferComponent::finished, this, &ConsoleWindow::clearProgress);
}

bool ConsoleWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ui.Combo1 && event->type() == QEvent::FocusOut) {
        // Opening the drop-down list or switching to another window does not
        // take the focus from the site list for good.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason &&
            !belongsTo(QApplication::focusWidget(), m_ui.Combo1))
            runHandler([this] { onCombo1FocusLost(); });
    }
    return QMainWindow::eventFilter(watched, event);
}

void ConsoleWindow::runHandler(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const std::exception &failure) {
        const QString message = QString::fromUtf8(failure.what());
        statusBar()->showMessage(message);
        std::cerr << "Sarvel: " << failure.what() << std::endl;
    } catch (...) {
        statusBar()->showMessage(tr("Unexpected failure"));
        std::cerr << "Sarvel: unexpected failure" << std::endl;
    }
}

void ConsoleWindow::onLoad()
{
    m_sites.loadPresets();
    for (int slot = 0; slot < SiteDirectory::PresetCount; ++slot)
        m_ui.Combo1->addItem(m_sites.SiteLabel(slot));
    // Adding items chose the first one; at start no entry is chosen.
    m_ui.Combo1->setCurrentIndex(-1);
    m_ui.Combo1->setEditText(QStringLiteral("Combo1"));
}

void ConsoleWindow::onComAddSiteClicked()
{
    // The new site takes the slot equal to its position in the list.
    const int slot = m_ui.Combo1->count();
    if (slot >= SiteDirectory::SlotCount)
        throw std::runtime_error(tr("The site list is full: it holds %1 sites and has no room "
                                    "for another.")
                                     .arg(SiteDirectory::SlotCount)
                                     .toStdString());
    m_sites.setSiteLabel(slot, m_prompt->ask(this, QStringLiteral("Site Label:")));
    m_sites.setSiteAddress(slot,
                           m_prompt->ask(this, QStringLiteral("Site address [without www.]:")));
    m_sites.setSiteUser(slot, m_prompt->ask(this, QStringLiteral("User name:")));
    m_sites.setSitePassword(
        slot, m_prompt->ask(this, QStringLiteral("Password:"), {}, TextPrompt::Echo::Hidden));
    m_ui.Combo1->addItem(m_sites.SiteLabel(slot));
}

int ConsoleWindow::siteListIndex() const
{
    return m_siteTyped ? -1 : m_ui.Combo1->currentIndex();
}

void ConsoleWindow::onCombo1FocusLost()
{
    const int slot = qint16(siteListIndex());
    const QString address = m_sites.SiteAddress(slot);
    m_ui.TxtBrowseTo->setText(browseAddressFor(address));
    m_inet->setURL(ftpUrlFor(m_ui.TxtBrowseTo->text()));
    m_inet->setUserName(m_sites.SiteUser(slot));
    m_inet->setPassword(m_sites.SitePassword(slot));
    Q_EMIT siteChosen(address);
}

void ConsoleWindow::onComBrowseClicked()
{
    m_ui.WebBrowser1->navigate(m_ui.TxtBrowseTo->text());
}

void ConsoleWindow::onComCDWWWClicked()
{
    const QString folder = m_prompt->ask(this, QStringLiteral("Folder name:"),
                                         QStringLiteral("Select folder to change to"));
    m_inet->Execute(QStringLiteral("CD ") + folder);
}

void ConsoleWindow::onComFTPClicked()
{
    m_inet->Execute(m_ui.TxtFTPCommand->text());
}

void ConsoleWindow::onComGetChunkClicked()
{
    setBoxText(m_ui.TxtBrowserStatus, m_inet->GetChunk(1024));
}

void ConsoleWindow::onCommand1Clicked()
{
    const QStringList names = listPhotoFiles(m_photoFolder);
    if (names.isEmpty())
        return;
    QString listing;
    for (const QString &name : names)
        listing += name + QLatin1String("\r\n");
    setBoxText(m_ui.TxtBrowserStatus, listing);
    processPendingEvents();
}

void ConsoleWindow::onInet1StateChanged(qint16 state)
{
    m_ui.TxtInetState->setText(QString::number(state));
    m_ui.TxtInetRespCode->setText(QString::number(qint32(m_inet->ResponseCode())));
    setBoxText(m_ui.TxtInetResponse, m_inet->ResponseInfo());
    processPendingEvents();
}

void ConsoleWindow::onWebBrowser1StatusTextChange(const QString &text)
{
    appendBoxLine(m_ui.TxtBrowserStatus, text);
}

void ConsoleWindow::processPendingEvents()
{
    // Reports that arrive while pending events run update the boxes
    // themselves; only the outermost handler spins the loop, so nesting stays
    // one level deep however fast reports come.
    if (m_processingEvents)
        return;
    QScopedValueRollback<bool> guard(m_processingEvents, true);
    QCoreApplication::processEvents();
}

void ConsoleWindow::showProgress(qint64 done, qint64 total)
{
    if (m_progressBar->isHidden())
        m_transferClock.start();
    const double seconds = std::max<qint64>(m_transferClock.elapsed(), 1) / 1000.0;
    const QLocale locale;
    QString text = locale.formattedDataSize(done);
    if (total > 0)
        text += tr(" of %1").arg(locale.formattedDataSize(total));
    text += tr(", %1/s").arg(locale.formattedDataSize(qint64(done / seconds)));
    m_progressText->setText(text);
    m_progressText->show();
    // Percent keeps the bar's range within int for files of any size.
    m_progressBar->setRange(0, total > 0 ? 100 : 0);
    m_progressBar->setValue(total > 0 ? int(done * 100 / total) : 0);
    m_progressBar->show();
}

void ConsoleWindow::clearProgress()
{
    m_progressBar->hide();
    m_progressText->hide();
}
