#pragma once

// The main window's stored form, as data that both front ends build their controls from: every
// control's name, kind, parent, place, text and spoken name, the keyboard order, the menu, and
// the stored settings of the serial port component. Positions are pixels at 96 dots per inch,
// relative to the client area of the control's parent. Constant data: any thread, any time.

#include <array>
#include <string_view>

namespace tvk9 {

class TComm;

inline constexpr std::string_view MainCaption = "TVK9 Programmer";
inline constexpr int ClientWidth = 513;
inline constexpr int ClientHeight = 388;
// "MS Sans Serif" 8 pt: its character height in pixels at 96 dots per inch.
inline constexpr int WindowFontPixels = 11;
// Set by FormCreate as colour values, red in the lowest byte: the bar green (red 31, green 189,
// blue 82) on white.
inline constexpr unsigned ProgressBarColour = 0x0052BD1F;
inline constexpr unsigned ProgressBackgroundColour = 0xFFFFFF;
// The port list drops down at most this many entries, each this high.
inline constexpr int PortListVisibleItems = 8;
inline constexpr int PortListItemHeight = 13;

enum class ControlKind {
    Label,
    DropDownList, // choose only, no typing
    PushButton,
    EditBox,
    GroupBox,
    Panel, // borderless, only to make its two radio buttons a group
    RadioButton,
    ProgressBar,
    ToolButton, // never takes the focus
    Memo,
};

struct Rect {
    int left;
    int top;
    int width;
    int height;
    bool operator==(const Rect&) const = default;
};

struct ControlForm {
    std::string_view name;
    ControlKind kind;
    std::string_view parent; // empty: the window's client area
    Rect rect;
    std::string_view text;   // empty where none is shown
    std::string_view spoken; // what a screen reader says; empty: the text, or nothing
    bool hidden = false;     // never shown, never reached with the keyboard
};

// In the order of the stored form: parents before their children.
inline constexpr std::array<ControlForm, 31> MainForm{{
    {"Read", ControlKind::ToolButton, "", {277, 258, 75, 22}, "Read", "", true},
    {"Label8", ControlKind::Label, "", {32, 25, 85, 13}, "USB INTERFACE", ""},
    {"Label9", ControlKind::Label, "", {30, 88, 46, 13}, "TVK9 File", ""},
    {"Label10", ControlKind::Label, "", {30, 311, 41, 13}, "Progress", ""},
    {"FilePath", ControlKind::EditBox, "", {32, 107, 345, 21}, "", "TVK9 File"},
    {"ComSelect", ControlKind::DropDownList, "", {32, 44, 345, 21}, "", "USB INTERFACE"},
    {"ProgressBar1", ControlKind::ProgressBar, "", {30, 330, 347, 21}, "", "Progress"},
    {"Memo2", ControlKind::Memo, "", {30, 286, 347, 19}, "", "", true},
    {"GroupBox1", ControlKind::GroupBox, "", {277, 147, 196, 89}, "Orientation", ""},
    {"Label1", ControlKind::Label, "GroupBox1", {24, 29, 35, 13}, "Vertical", ""},
    {"Label2", ControlKind::Label, "GroupBox1", {136, 29, 47, 13}, "Horizontal", ""},
    {"Vertic", ControlKind::RadioButton, "GroupBox1", {34, 48, 18, 17}, "", "Orientation vertical"},
    {"Horizont",
     ControlKind::RadioButton,
     "GroupBox1",
     {152, 48, 17, 17},
     "",
     "Orientation horizontal"},
    {"GroupBox2", ControlKind::GroupBox, "", {32, 147, 211, 133}, "Sensor Output Direction", ""},
    {"Label4", ControlKind::Label, "GroupBox2", {20, 19, 24, 13}, "NOR", ""},
    {"Label5", ControlKind::Label, "GroupBox2", {158, 19, 22, 13}, "REV", ""},
    {"Panel4", ControlKind::Panel, "GroupBox2", {2, 38, 207, 30}, "", ""},
    {"rollleft1", ControlKind::RadioButton, "Panel4", {23, 8, 18, 17}, "", "Roll NOR"},
    {"Label3", ControlKind::Label, "Panel4", {84, 8, 18, 13}, "Roll", ""},
    {"rollright1", ControlKind::RadioButton, "Panel4", {158, 8, 17, 17}, "", "Roll REV"},
    {"Panel5", ControlKind::Panel, "GroupBox2", {2, 68, 207, 30}, "", ""},
    {"pitchleft1", ControlKind::RadioButton, "Panel5", {23, 8, 17, 17}, "", "Pitch NOR"},
    {"Label6", ControlKind::Label, "Panel5", {84, 8, 24, 13}, "Pitch", ""},
    {"pitchright1", ControlKind::RadioButton, "Panel5", {158, 8, 17, 17}, "", "Pitch REV"},
    {"Panel2", ControlKind::Panel, "GroupBox2", {2, 97, 207, 30}, "", ""},
    {"yawleft1", ControlKind::RadioButton, "Panel2", {23, 8, 17, 17}, "", "Yaw NOR"},
    {"Label7", ControlKind::Label, "Panel2", {84, 8, 21, 13}, "Yaw", ""},
    {"yawright1", ControlKind::RadioButton, "Panel2", {158, 8, 17, 17}, "", "Yaw REV"},
    {"Openfile", ControlKind::PushButton, "", {402, 107, 71, 21}, "Open File", ""},
    {"Start", ControlKind::PushButton, "", {402, 330, 71, 21}, "Start", ""},
    {"AutoDetect", ControlKind::PushButton, "", {404, 44, 69, 21}, "AutoDetect", ""},
}};

// The keyboard order of the controls that can take the focus: the orientation pair, then the
// axis rows yaw, roll, pitch, each pair in its own tab order. Hidden and unfocusable controls in
// it are skipped; within a radio pair only the selected button is a tab stop.
inline constexpr std::array<std::string_view, 15> KeyboardOrder{
    "FilePath",   "ComSelect",   "ProgressBar1", "Memo2",      "Horizont",
    "Vertic",     "yawleft1",    "yawright1",    "rollright1", "rollleft1",
    "pitchleft1", "pitchright1", "Openfile",     "Start",      "AutoDetect"};

// The menu, with its keyboard access letters after '&'.
struct MenuItemForm {
    std::string_view name;
    std::string_view menu; // the menu that holds it
    std::string_view text;
};
inline constexpr std::array<MenuItemForm, 5> MainMenu{{
    {"File1", "", "&File"},
    {"Save1", "File1", "&Open"},
    {"Exit2", "File1", "E&xit"},
    {"Help1", "", "&Help"},
    {"About1", "Help1", "&About"},
}};

// The control of that name; throws std::out_of_range for a name the form does not have.
const ControlForm& FormControl(std::string_view name);

// The control's place relative to the window's client area: its own plus its parents'.
Rect InClientArea(const ControlForm& control);

// The form's stored settings of Comm1: port "COM1", read length and buffer 10, 8 data bits, no
// parity, one stop bit, Xon/Xoff limits and characters, a 100 ms gap between bytes ending a read.
void ApplyStoredSettings(TComm& Comm1);

// The About window.
inline constexpr std::string_view AboutCaption = "About TVK9";
inline constexpr int AboutWidth = 339;
inline constexpr int AboutHeight = 123;
inline constexpr int AboutFontPixels = 11; // "Tahoma" 8 pt
struct AboutLabelForm {
    std::string_view name;
    Rect rect;
    std::string_view text; // UTF-8
    int fontPixels;        // "Tahoma"
};
inline constexpr std::array<AboutLabelForm, 2> AboutLabels{{
    {"Label1", {8, 16, 202, 23}, "TVK9  Programmer V1.0", 19},
    {"Label2", {32, 45, 287, 16}, "\xC2\xA9 2026 the TVK9 Programmer developers", 13},
}};
inline constexpr ControlForm AboutButton{
    "Button1", ControlKind::PushButton, "", {232, 80, 75, 25}, "ok", ""};

} // namespace tvk9
