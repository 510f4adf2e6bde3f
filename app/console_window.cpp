#include "console_window.h"

#include "browser_pane.h"
#include "check/site_check_presenter.h"
#include "control_builder.h"
#include "photo_listing.h"
#include "protocol_log_window.h"
#include "soak/soak_presenter.h"
#include "text_box.h"
#include "text_prompt.h"
#include "transfer_component.h"
#include "transfer_indicators.h"
#include "trust_question.h"

#include "text/connection_text.h"
#include "text/state_text.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QStatusBar>

#include <iostream>
#include <stdexcept>

namespace {

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

std::unique_ptr<ConsoleWindow> makeConsoleWindow(TransferComponent *inet, BrowserPane *browser,
                                                 std::unique_ptr<TextPrompt> prompt,
                                                 const QString &photoFolder)
{
    ConsoleWindow::Parts parts;
    parts.inet = inet;
    parts.browser = browser;
    parts.prompt = std::move(prompt);
    parts.photoFolder = photoFolder;
    return std::make_unique<ConsoleWindow>(std::move(parts));
}

ConsoleWindow::ConsoleWindow(Parts parts, QWidget *parent)
    : QMainWindow(parent), m_inet(parts.inet), m_prompt(std::move(parts.prompt)),
      m_photoFolder(std::move(parts.photoFolder))
{
    setObjectName(QStringLiteral("FmInternet"));
    setWindowTitle(QStringLiteral("Sarvel"));
    m_inet->setParent(this);
    setFont(captionFont(font(), style()));

    setCentralWidget(buildClientArea(m_ui, parts.browser));
    auto *indicators = new TransferIndicators(statusBar());
    connect(m_inet, &TransferComponent::progressChanged, indicators,
            &TransferIndicators::showProgress);
    connect(m_inet, &TransferComponent::finished, indicators, &TransferIndicators::clearProgress);
    connect(m_inet, &TransferComponent::protectionChanged, indicators,
            &TransferIndicators::showProtection);
    // A failure's details go with its message, and go when it goes.
    connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString &message) {
        if (message.isEmpty())
            statusBar()->setToolTip(QString());
    });
    fitToScreen();
    m_ui.ComAddSite->setFocus();

    // Made now, so it collects the conversation while it is closed.
    m_protocolLog = new ProtocolLogWindow(this);
    wireEvents();
    wireProtocolLog();
    m_siteCheck = new SiteCheckPresenter(m_inet, this);
    m_soak = new SoakPresenter(m_inet, this);
    runHandler([this] { onLoad(); });
}

ConsoleWindow::~ConsoleWindow() = default;

void ConsoleWindow::fitToScreen()
{
    // Large enough to show every control, as far as the screen allows.
    const auto *scroller = static_cast<QScrollArea *>(centralWidget());
    const int frame = 2 * scroller->frameWidth();
    QSize wanted =
        scroller->widget()->size() + QSize(frame, frame + statusBar()->sizeHint().height());
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        wanted = wanted.boundedTo(screen->availableGeometry().size() - QSize(16, 48));
    resize(wanted);
}

void ConsoleWindow::wireEvents()
{
    struct ButtonHandler
    {
        QPushButton *FmInternetUi::*button;
        void (ConsoleWindow::*handler)();
    };
    static constexpr ButtonHandler ButtonHandlers[] = {
        {&FmInternetUi::ComAddSite, &ConsoleWindow::onComAddSiteClicked},
        {&FmInternetUi::ComBrowse, &ConsoleWindow::onComBrowseClicked},
        {&FmInternetUi::ComCDWWW, &ConsoleWindow::onComCDWWWClicked},
        {&FmInternetUi::ComFTP, &ConsoleWindow::onComFTPClicked},
        {&FmInternetUi::ComGetChunk, &ConsoleWindow::onComGetChunkClicked},
        {&FmInternetUi::Command1, &ConsoleWindow::onCommand1Clicked},
    };
    for (const ButtonHandler &entry : ButtonHandlers)
        connect(m_ui.*entry.button, &QPushButton::clicked, this, [this, handler = entry.handler] {
            runHandler([this, handler] { (this->*handler)(); });
        });

    // Escape stops the running operation from whichever control has the focus.
    auto *stop = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(stop, &QShortcut::activated, this,
            [this] { runHandler([this] { onEscapePressed(); }); });

    connect(m_inet, &TransferComponent::StateChanged, this,
            [this](qint16 state) { runHandler([this, state] { onInet1StateChanged(state); }); });
    connect(m_inet, &TransferComponent::commandDone, this, [this](const QString &what) {
        runHandler([this, &what] { onInet1CommandDone(what); });
    });
    connect(m_inet, &TransferComponent::trustQuestion, this, [this](const TrustQuestion &question) {
        runHandler([this, &question] { onInet1TrustQuestion(question); });
    });
    connect(m_ui.WebBrowser1, &BrowserPane::statusTextChange, this, [this](const QString &text) {
        runHandler([this, &text] { onWebBrowser1StatusTextChange(text); });
    });
    // Combo1 applies a site when the focus leaves it (see eventFilter).
    m_ui.Combo1->installEventFilter(this);
    connect(m_ui.Combo1->lineEdit(), &QLineEdit::textEdited, this, [this] { m_siteTyped = true; });
    connect(m_ui.Combo1, &QComboBox::currentIndexChanged, this, [this] { m_siteTyped = false; });
    connect(m_ui.Combo1, &QComboBox::activated, this, [this] { m_siteTyped = false; });
}

void ConsoleWindow::wireProtocolLog()
{
    connect(m_inet, &TransferComponent::protocolEvent, m_protocolLog, &ProtocolLogWindow::addEvent);
    m_openProtocolLog = new QAction(tr("Protocol log"), this);
    m_openProtocolLog->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(m_openProtocolLog, &QAction::triggered, this, &ConsoleWindow::showProtocolLog);
    addAction(m_openProtocolLog);
    // The response box keeps its usual entries, with the log's after them.
    m_ui.TxtInetResponse->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_ui.TxtInetResponse, &QWidget::customContextMenuRequested, this,
            &ConsoleWindow::showResponseMenu);
}

void ConsoleWindow::showProtocolLog()
{
    m_protocolLog->show();
    m_protocolLog->raise();
    m_protocolLog->activateWindow();
}

void ConsoleWindow::showResponseMenu(const QPoint &position)
{
    QMenu *menu = m_ui.TxtInetResponse->createStandardContextMenu(position);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addSeparator();
    menu->addAction(m_openProtocolLog);
    menu->popup(m_ui.TxtInetResponse->viewport()->mapToGlobal(position));
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
        showStatus(QString::fromUtf8(failure.what()));
        std::cerr << "Sarvel: " << failure.what() << std::endl;
    } catch (...) {
        statusBar()->showMessage(tr("Unexpected failure"));
        std::cerr << "Sarvel: unexpected failure" << std::endl;
    }
}

void ConsoleWindow::showStatus(const QString &text)
{
    // The first line fits the bar; the lines after it are its details.
    statusBar()->showMessage(text.section(QLatin1Char('\n'), 0, 0));
    statusBar()->setToolTip(text.section(QLatin1Char('\n'), 1));
}

QString ConsoleWindow::transferServer() const
{
    const SiteEndpoint endpoint = siteEndpoint(m_inet->URL());
    return addressText(endpoint.host, endpoint.port);
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
    // What the bar said was about the site chosen before, or none.
    statusBar()->clearMessage();
    const int slot = qint16(siteListIndex());
    const QString address = m_sites.SiteAddress(slot);
    m_chosenAddress = address;
    m_ui.TxtBrowseTo->setText(browseAddressFor(address));
    m_inet->setURL(transferUrlFor(m_ui.TxtBrowseTo->text()));
    m_inet->setUserName(m_sites.SiteUser(slot));
    m_inet->setPassword(m_sites.SitePassword(slot));
    m_siteCheck->siteApplied({m_sites.SiteLabel(slot), m_inet->URL(), m_sites.SiteUser(slot),
                              m_sites.SitePassword(slot)});
    m_soak->siteApplied(m_sites.SiteLabel(slot));
    Q_EMIT siteChosen(address);
}

void ConsoleWindow::onComBrowseClicked()
{
    m_ui.WebBrowser1->navigate(m_ui.TxtBrowseTo->text());
}

void ConsoleWindow::onComCDWWWClicked()
{
    // A failure shown so far belongs to the last operation, not to this one.
    statusBar()->clearMessage();
    const QString folder = m_prompt->ask(this, QStringLiteral("Folder name:"),
                                         QStringLiteral("Select folder to change to"));
    m_inet->Execute(QStringLiteral("CD ") + folder);
}

void ConsoleWindow::onComFTPClicked()
{
    runFtpCommand(m_ui.TxtFTPCommand->text());
}

void ConsoleWindow::runFtpCommand(const QString &command)
{
    statusBar()->clearMessage();
    m_inet->Execute(command);
}

SiteCheckWindow *ConsoleWindow::siteCheckWindow() const
{
    return m_siteCheck->window();
}

SoakWindow *ConsoleWindow::soakWindow() const
{
    return m_soak->window();
}

void ConsoleWindow::onComGetChunkClicked()
{
    const QString chunk = m_inet->GetChunk(1024);
    setBoxText(m_ui.TxtBrowserStatus, chunk);
    if (chunk.isEmpty())
        showStatus(QLatin1String(NoMoreDataText));
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
    // The state box has no hint of its own; the bar names the state, and its
    // tooltip lists all of them.
    showStatus(stateStatusText(TransferState(state)) + QLatin1Char('\n') +
               QStringLiteral("The states a transfer reports:\n") + transferStateList());
    processPendingEvents();
}

QString ConsoleWindow::stateStatusText(TransferState state) const
{
    if (state != TransferState::Error)
        return runningStateText(state, transferServer());
    // A name that only the host-prefix rule made is worth a word on how to
    // give the address as typed.
    if (!m_inet->ResponseInfo().startsWith(unresolvedHostText(transferServer(), {})))
        return {};
    return prefixedAddressHint(m_chosenAddress);
}

void ConsoleWindow::onInet1CommandDone(const QString &what)
{
    if (!what.isEmpty())
        showStatus(what);
}

void ConsoleWindow::onEscapePressed()
{
    if (!m_inet->StillExecuting())
        return;
    statusBar()->clearMessage();
    m_inet->Execute(QStringLiteral("ABORT"));
}

void ConsoleWindow::onInet1TrustQuestion(const TrustQuestion &question)
{
    const bool trusted =
        m_prompt->confirm(this, trustQuestionText(question), trustQuestionDetails(question));
    m_inet->answerTrust(trusted);
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
