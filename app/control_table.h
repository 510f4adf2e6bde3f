#pragma once

#include <array>

class BrowserPane;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

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

enum class ControlKind { Button, ComboBox, LineEdit, Label, TextBox, Browser };

// A table row's member of FmInternetUi. The member's type decides the kind of
// control, so a row cannot name a kind its member does not hold.
class ControlMember
{
public:
    constexpr ControlMember(QPushButton *FmInternetUi::*member)
        : m_kind(ControlKind::Button), m_button(member)
    {}
    constexpr ControlMember(QComboBox *FmInternetUi::*member)
        : m_kind(ControlKind::ComboBox), m_combo(member)
    {}
    constexpr ControlMember(QLineEdit *FmInternetUi::*member)
        : m_kind(ControlKind::LineEdit), m_lineEdit(member)
    {}
    constexpr ControlMember(QLabel *FmInternetUi::*member)
        : m_kind(ControlKind::Label), m_label(member)
    {}
    constexpr ControlMember(QPlainTextEdit *FmInternetUi::*member)
        : m_kind(ControlKind::TextBox), m_textBox(member)
    {}
    constexpr ControlMember(BrowserPane *FmInternetUi::*member)
        : m_kind(ControlKind::Browser), m_browser(member)
    {}

    constexpr ControlKind kind() const { return m_kind; }
    QWidget *widget(const FmInternetUi &ui) const;
    // Stores `widget`, which must be of this member's type, in `ui`.
    void bind(FmInternetUi &ui, QWidget *widget) const;

private:
    ControlKind m_kind;
    union {
        QPushButton *FmInternetUi::*m_button;
        QComboBox *FmInternetUi::*m_combo;
        QLineEdit *FmInternetUi::*m_lineEdit;
        QLabel *FmInternetUi::*m_label;
        QPlainTextEdit *FmInternetUi::*m_textBox;
        BrowserPane *FmInternetUi::*m_browser;
    };
};

// The console window's controls as designed: member, name, caption or initial
// text, the name assistive technology reads (the caption when null), rectangle
// in twips (1/1440 inch; 15 twips make one pixel at 96 dpi) within the client
// area, and place in the keyboard focus order.
struct ControlSpec
{
    ControlMember member;
    const char *name;
    const char *text;
    const char *accessibleName;
    int left, top, width, height;
    int tabIndex;

    constexpr ControlKind kind() const { return member.kind(); }
};

inline constexpr int TwipsPerPixel = 15;

// The address box's initial text: the maker's web host and its page.
inline constexpr char DefaultBrowseAddress[] = "www.sarvel.example/fileread.asp";

inline constexpr char FTPCommandHint[] =
    "e.g. GET 14JUN992.HTM c:\\temp\\Monday or PUT D:\\Tolvar\\Help.chm TolvarHelp.chm";

// clang-format off
inline constexpr std::array<ControlSpec, 17> FmInternetControls{{
    // member                          name                caption or initial text                      accessible name        left   top  width height tab
    {&FmInternetUi::ComAddSite,        "ComAddSite",       "Add FTP Site",                              nullptr,               1200,  120,  1575,  615,  0},
    {&FmInternetUi::ComCDWWW,          "ComCDWWW",         "CD",                                        nullptr,               3240,  120,  1335,  615,  1},
    {&FmInternetUi::ComFTP,            "ComFTP",           "Download/Upload",                           nullptr,               5280,  120,  2175,  615,  2},
    {&FmInternetUi::ComGetChunk,       "ComGetChunk",      "Get Chunk",                                 nullptr,               7800,  120,  1815,  615, 15},
    {&FmInternetUi::ComBrowse,         "ComBrowse",        "Browser",                                   nullptr,               9840,  120,  1575,  615,  4},
    {&FmInternetUi::Combo1,            "Combo1",           "Combo1",                                    "Site list",           1200,  960,  1575,  315, 11},
    {&FmInternetUi::TxtFTPCommand,     "TxtFTPCommand",    "put c:\\tolvar\\vorltest.blm vorltest.blm", "FTP command",         3600,  840,  5535,  285, 12},
    {&FmInternetUi::TxtBrowseTo,       "TxtBrowseTo",      DefaultBrowseAddress,                        "Browse to",           9360,  840,  2415,  285, 13},
    {&FmInternetUi::Label1,            "Label1",           "Inet State:",                               nullptr,               7920, 1440,   975,  255,  8},
    {&FmInternetUi::TxtInetState,      "TxtInetState",     "Inet State",                                "Inet State",          9600, 1320,   855,  285,  3},
    {&FmInternetUi::Label2,            "Label2",           "Inet Response Code:",                       nullptr,              11760, 1320,  1695,  255,  9},
    {&FmInternetUi::TxtInetRespCode,   "TxtInetRespCode",  "Inet Response Code",                        "Inet Response Code", 13440, 1290,   735,  285,  5},
    {&FmInternetUi::TxtBrowserStatus,  "TxtBrowserStatus", "Browser Status",                            "Browser Status",       120, 1560,  5655, 2925, 14},
    {&FmInternetUi::Command1,          "Command1",         "Command1",                                  nullptr,               6480, 2880,   975,  615, 16},
    {&FmInternetUi::Label3,            "Label3",           "Inet Response Info",                        "Inet Response Info:",  6240, 1800,  1575,  375, 10},
    {&FmInternetUi::TxtInetResponse,   "TxtInetResponse",  "Inet Response Info\r\n",                    "Inet Response Info",  8160, 1800,  6135, 2685,  6},
    {&FmInternetUi::WebBrowser1,       "WebBrowser1",      "",                                          "Web page",             120, 4560, 14295, 6015,  7},
}};
// clang-format on
