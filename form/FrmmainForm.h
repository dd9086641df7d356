// The main window's form, the one source of both windows (Qt and Win32): every control under its form
// name, with its parent, design place (client pixels at 96 dpi), initial text, font and properties.
#pragma once

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>

namespace lut::form {

struct Rect {
    int left;
    int top;
    int width;
    int height;

    bool operator==(const Rect&) const = default;
};

struct Size {
    int width;
    int height;

    bool operator==(const Size&) const = default;
};

enum class Kind { Panel, ListView, GroupBox, Label, Edit, RichEdit, Button, StatusBar, ProgressBar };

enum class Charset { Ansi, Gb2312 };

struct Font {
    int pixelHeight;
    Charset charset;
};

// Labels size themselves to their text unless fixed (lbl1, lbl2, lbl6) or wrapping (lbl5).
enum class Sizing { Fixed, ToText, Wrap };

struct Control {
    std::string_view name;
    Kind kind;
    std::string_view parent;
    Rect place;
    std::string_view text;  // UTF-8
    Font font;
    Sizing sizing = Sizing::Fixed;
    bool centred = false;
    bool enabled = true;
    bool readOnly = false;
};

inline constexpr std::string_view FormName = "Frmmain";
// The family the window's texts are set in; 13 pixels high unless a control has its own.
inline constexpr std::string_view FontFamily = "宋体";
inline constexpr Font WindowFont{13, Charset::Ansi};

inline constexpr Size ClientSize{607, 401};
inline constexpr int StatusBarHeight = 19;
// The status bar's one panel; being the last, it reaches the bar's right end whatever its width.
inline constexpr int StatusPanelWidth = 50;
// The progress bar stops this far short of the right end of the status bar's panel.
inline constexpr int ProgressBarGap = 10;

struct Column {
    std::string_view title;
    int width;
};

// Columns of the logger list: caption, then the two sub-items.
enum LoggerColumn { SnColumn = 0, IpColumn = 1, VersionColumn = 2 };
inline constexpr std::array<Column, 3> LoggerColumns{{{"SN", 130}, {"IP", 105}, {"Version", 140}}};

inline constexpr Control pnl1{"pnl1", Kind::Panel, FormName, {0, 0, 398, 382}, "", WindowFont};
inline constexpr Control lv1{"lv1", Kind::ListView, "pnl1", {0, 0, 398, 382}, "", WindowFont};
inline constexpr Control grp1{"grp1", Kind::GroupBox, FormName, {400, -1, 201, 98}, "", WindowFont};
inline constexpr Control lbl1{"lbl1", Kind::Label, "grp1", {10, 16, 73, 13}, "LocalPort", WindowFont};
inline constexpr Control edtHostPort{"edtHostPort",     Kind::Edit,        "grp1", {85, 11, 49, 21}, "8000",
                                     WindowFont,        Sizing::Fixed,
                                     /*centred=*/false, /*enabled=*/false,
                                     /*readOnly=*/true};
inline constexpr Control lbl2{"lbl2", Kind::Label, "grp1", {10, 39, 65, 17}, "Local IP", WindowFont};
inline constexpr Control lbl3{"lbl3", Kind::Label, "grp1",        {84, 39, 28, 13},
                              "lbl3", WindowFont,  Sizing::ToText};
// lbl3's tooltip: it offers the machine's addresses when clicked, under a hand cursor.
inline constexpr std::string_view lbl3Hint =
    "Search sweeps the /24 subnet of this address. Click to choose another of this machine's addresses.";
inline constexpr Control btnsearch{"btnsearch", Kind::Button, "grp1", {58, 65, 79, 22}, "Search", WindowFont};
inline constexpr Control lbl4{
    "lbl4", Kind::Label, FormName, {400, 198, 146, 13}, "Update File Version：", WindowFont, Sizing::ToText};
inline constexpr Control lbl6{"lbl6", Kind::Label, FormName,      {408, 254, 185, 13},
                              "",     WindowFont,  Sizing::Fixed, /*centred=*/true};
inline constexpr Control lbl7{"lbl7",          Kind::Label, FormName,      {398, 105, 90, 13},
                              "Update File：", WindowFont,  Sizing::ToText};
inline constexpr Control lbl5{"lbl5",
                              Kind::Label,
                              FormName,
                              {419, 312, 161, 26},
                              "Filename begin with \"S\"\r\nextesion is \".bin\"",
                              WindowFont,
                              Sizing::Wrap,
                              /*centred=*/true};
inline constexpr Control btnUPG{"btnUPG", Kind::Button, FormName, {472, 352, 75, 25}, "Update", WindowFont};
inline constexpr Control stat1{"stat1", Kind::StatusBar, FormName, {0, 382, 607, StatusBarHeight},
                               "",      WindowFont};
// Placed into stat1 at the status bar's first paint; range 0 to 100 until a worker sets it.
inline constexpr Control ProgressBar1{"ProgressBar1", Kind::ProgressBar, FormName, {264, 184, 89, 17}, "",
                                      WindowFont};
inline constexpr Control btn1{"btn1",   Kind::Button,       FormName, {528, 99, 65, 22},
                              "Browse", {16, Charset::Ansi}};
inline constexpr Control edt1{"edt1", Kind::Edit, FormName, {400, 220, 200, 21}, "", WindowFont};
// Shows the update file's path: read-only, with a vertical scroll bar.
inline constexpr Control redt2{
    "redt2",           Kind::RichEdit, FormName, {399, 128, 202, 61}, "", {13, Charset::Gb2312},
    Sizing::Fixed,
    /*centred=*/false,
    /*enabled=*/true,
    /*readOnly=*/true};

// Every control, parents before their children, in the form's order.
inline constexpr std::array<const Control*, 18> Controls{
    &pnl1, &lv1,  &grp1, &lbl1,   &edtHostPort, &lbl2,         &lbl3, &btnsearch, &lbl4,
    &lbl6, &lbl7, &lbl5, &btnUPG, &stat1,       &ProgressBar1, &btn1, &edt1,      &redt2};

// The control of that name; std::out_of_range for a name the form does not have.
const Control& FindControl(std::string_view name);

// Where the list and the status bar go in a client area of the given size: the list takes the height
// above the status bar, the status bar the whole width at the bottom; everything else keeps its place.
Rect ListPlace(Size client);
Rect StatusBarPlace(Size client);

// The progress bar's place inside the status bar's panel (left, top, right, bottom).
Rect ProgressBarPlace(int left, int top, int right, int bottom);

}  // namespace lut::form
