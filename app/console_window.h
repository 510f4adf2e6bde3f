#pragma once

#include "site_directory.h"

#include <QElapsedTimer>
#include <QMainWindow>

#include <functional>
#include <memory>

class BrowserPane;
class TextPrompt;
class TransferComponent;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

// The console's controls, by their design names.
struct FmInternetUi
{
    QPushButton *ComAddSite = nullptr;
    QPushButton *ComCDWWW = nullptr;
    QPushButton *ComFTP = nullptr;
    QPushButton *ComGetChunk = nullptr;
    QPushButton *ComBrowse = nullptr;
    QPushButton *Command1 = nullptr;
    QComboBox *Combo1 = nullptr;
    QLineEdit *TxtFTPCommand = nullptr;
    QLineEdit *TxtBrowseTo = nullptr;
    QLineEdit *TxtInetState = nullptr;
    QLineEdit *TxtInetRespCode = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QPlainTextEdit *TxtBrowserStatus = nullptr;
    QPlainTextEdit *TxtInetResponse = nullptr;
    BrowserPane *WebBrowser1 = nullptr;
};

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
    TransferComponent *Inet1() const { return m_inet; }

    // Runs `handler` inside the failure boundary.
    void runHandler(const std::function<void()> &handler);

Q_SIGNALS:
    // A site was chosen from the list; `address` is its site address.
    void siteChosen(const QString &address);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void wireEvents();

    void onLoad();
    void onComAddSiteClicked();
    void onCombo1FocusLost();
    void onComBrowseClicked();
    void onComCDWWWClicked();
    void onComFTPClicked();
    void onComGetChunkClicked();
    void onCommand1Clicked();
    void onInet1StateChanged(qint16 state);
    void onWebBrowser1StatusTextChange(const QString &text);

    // The site list's position: -1 with no entry chosen, or once the operator
    // has typed in its edit field since the last choice.
    int siteListIndex() const;
    void processPendingEvents();
    void showProgress(qint64 done, qint64 total);
    void clearProgress();

    FmInternetUi m_ui;
    SiteDirectory m_sites;
    TransferComponent *m_inet;
    std::unique_ptr<TextPrompt> m_prompt;
    QString m_photoFolder;
    bool m_siteTyped = false;
    bool m_processingEvents = false;
    QProgressBar *m_progressBar = nullptr;
    QLabel *m_progressText = nullptr;
    QElapsedTimer m_transferClock; // since the running transfer first reported progress
};
