#pragma once

#include "control_table.h"
#include "site_directory.h"
#include "text/transfer_values.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class ProtocolLogWindow;
class SiteCheckPresenter;
class SoakPresenter;
class SoakWindow;
class TextPrompt;
class TransferComponent;
struct TrustQuestion;
class QAction;
class SiteCheckWindow;

// The console window FmInternet: the controls at their designed places, the
// site directory, the transfer component Inet1 and the browser pane, and one
// handler per handled event. Every handler runs inside one failure boundary:
// a failure ends the handler where it arose, shows in the status bar, and the
// program goes on.
class ConsoleWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ConsoleWindow)
public:
    struct Parts
    {
        TransferComponent *inet = nullptr; // owned by the window from here on
        BrowserPane *browser = nullptr;    // likewise
        std::unique_ptr<TextPrompt> prompt;
        QString photoFolder; // C:\Photos on this machine
    };

    explicit ConsoleWindow(Parts parts, QWidget *parent = nullptr);
    ~ConsoleWindow() override;

    const FmInternetUi &ui() const { return m_ui; }
    const SiteDirectory &sites() const { return m_sites; }

    // Runs `handler` inside the failure boundary.
    void runHandler(const std::function<void()> &handler);

    void showProtocolLog();
    // The Site check window, made when the console is.
    SiteCheckWindow *siteCheckWindow() const;
    SoakWindow *soakWindow() const;

Q_SIGNALS:
    // A site was chosen from the list; `address` is its site address.
    void siteChosen(const QString &address);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fitToScreen();
    void wireEvents();
    void wireProtocolLog();

    void onLoad();
    void onComAddSiteClicked();
    void onCombo1FocusLost();
    void onComBrowseClicked();
    void onComCDWWWClicked();
    void onComFTPClicked();
    void runFtpCommand(const QString &command);
    void onComGetChunkClicked();
    void onCommand1Clicked();
    void onEscapePressed();
    void onInet1StateChanged(qint16 state);
    void onInet1CommandDone(const QString &what);
    void onInet1TrustQuestion(const TrustQuestion &question);
    void onWebBrowser1StatusTextChange(const QString &text);

    // The site list's position: -1 with no entry chosen, or once the operator
    // has typed in its edit field since the last choice.
    int siteListIndex() const;
    void processPendingEvents();
    // A message in the status bar: its first line shown, the rest as the
    // bar's tooltip.
    void showStatus(const QString &text);
    // "host:port" of the transfer URL, as the component's messages name it.
    QString transferServer() const;
    // What the status bar says in `state`: what a running command does, or
    // after a failure what may help; empty when the boxes say it all.
    QString stateStatusText(TransferState state) const;
    void showResponseMenu(const QPoint &position);

    FmInternetUi m_ui;
    SiteDirectory m_sites;
    TransferComponent *m_inet;
    std::unique_ptr<TextPrompt> m_prompt;
    QString m_photoFolder;
    bool m_siteTyped = false;
    QString m_chosenAddress; // the site address last applied
    bool m_processingEvents = false;
    ProtocolLogWindow *m_protocolLog = nullptr;
    QAction *m_openProtocolLog = nullptr; // Ctrl+L, and in the response box's menu
    SiteCheckPresenter *m_siteCheck = nullptr;
    SoakPresenter *m_soak = nullptr;
};

// The console built from its parts; the window owns the component and the
// pane from here on. The one way the program, its tests and its benchmarks
// assemble it.
std::unique_ptr<ConsoleWindow> makeConsoleWindow(TransferComponent *inet, BrowserPane *browser,
                                                 std::unique_ptr<TextPrompt> prompt,
                                                 const QString &photoFolder = {});
