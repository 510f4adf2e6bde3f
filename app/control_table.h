#pragma once

#include <array>

// The console window's controls as designed: kind, caption or initial text,
// rectangle in twips (1/1440 inch; 15 twips make one pixel at 96 dpi) within
// the client area, and place in the keyboard focus order.
enum class ControlKind { Button, ComboBox, LineEdit, Label, TextBox, Browser };

struct ControlSpec
{
    const char *name;
    ControlKind kind;
    const char *text;
    int left, top, width, height;
    int tabIndex;
};

inline constexpr int TwipsPerPixel = 15;

// The address box's initial text: the maker's web host and its page.
inline constexpr char DefaultBrowseAddress[] = "www.sarvel.example/fileread.asp";

inline constexpr char FTPCommandHint[] =
    "e.g. GET 14JUN992.HTM c:\\temp\\Monday or PUT D:\\Tolvar\\Help.chm TolvarHelp.chm";

// clang-format off
inline constexpr std::array<ControlSpec, 17> FmInternetControls{{
    // name               kind                   caption or initial text                    left   top  width height tab
    {"ComAddSite",       ControlKind::Button,   "Add FTP Site",                            1200,  120,  1575,  615,  0},
    {"ComCDWWW",         ControlKind::Button,   "CD",                                      3240,  120,  1335,  615,  1},
    {"ComFTP",           ControlKind::Button,   "Download/Upload",                         5280,  120,  2175,  615,  2},
    {"ComGetChunk",      ControlKind::Button,   "Get Chunk",                               7800,  120,  1815,  615, 15},
    {"ComBrowse",        ControlKind::Button,   "Browser",                                 9840,  120,  1575,  615,  4},
    {"Combo1",           ControlKind::ComboBox, "Combo1",                                  1200,  960,  1575,  315, 11},
    {"TxtFTPCommand",    ControlKind::LineEdit, "put c:\\tolvar\\vorltest.blm vorltest.blm", 3600,  840,  5535,  285, 12},
    {"TxtBrowseTo",      ControlKind::LineEdit, DefaultBrowseAddress,                      9360,  840,  2415,  285, 13},
    {"Label1",           ControlKind::Label,    "Inet State:",                             7920, 1440,   975,  255,  8},
    {"TxtInetState",     ControlKind::LineEdit, "Inet State",                              9600, 1320,   855,  285,  3},
    {"Label2",           ControlKind::Label,    "Inet Response Code:",                    11760, 1320,  1695,  255,  9},
    {"TxtInetRespCode",  ControlKind::LineEdit, "Inet Response Code",                     13440, 1290,   735,  285,  5},
    {"TxtBrowserStatus", ControlKind::TextBox,  "Browser Status",                           120, 1560,  5655, 2925, 14},
    {"Command1",         ControlKind::Button,   "Command1",                                6480, 2880,   975,  615, 16},
    {"Label3",           ControlKind::Label,    "Inet Response Info",                      6240, 1800,  1575,  375, 10},
    {"TxtInetResponse",  ControlKind::TextBox,  "Inet Response Info\r\n",                  8160, 1800,  6135, 2685,  6},
    {"WebBrowser1",      ControlKind::Browser,  "",                                         120, 4560, 14295, 6015,  7},
}};
// clang-format on
