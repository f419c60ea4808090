// The Win32 main window as built, at 96 dots per inch: its places worked out by hand from the
// form, the values <commctrl.h> gives the messages, the keyboard order the dialog manager takes,
// and the dialog folder's rule on Windows paths.

#include "app/dialog_folder.h"
#include "app/program_text.h"
#include "app/win32/windows_adapters.h"
#include "app/win32/windows_main_window.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

namespace tvk9::win32 {
namespace {

static_assert(PBM_SETBARCOLOR == 1033, "WM_USER + 9, as the form's FormCreate sends it");

OpenResult NoPort(const std::string&) {
    return {nullptr, {PortProblem::Kind::Missing, "no port in this test", ""}};
}

RECT InClient(HWND main, HWND control) {
    RECT r{};
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::wstring MenuText(HMENU menu, UINT position) {
    wchar_t text[64] = {};
    ::GetMenuStringW(menu, position, text, 64, MF_BYPOSITION);
    return text;
}

TEST(Win32MainWindow, StandsAsTheFormGivesItWithItsFixedBorderMenuAndColours) {
    MainWindow window(NoPort);
    const HWND main = window.Handle();
    ASSERT_EQ(::GetDpiForWindow(main), 96u) << "the places below are at 96 dpi";
    wchar_t caption[64] = {};
    ::GetWindowTextW(main, caption, 64);
    EXPECT_STREQ(caption, L"TVK9 Programmer");
    const LONG_PTR style = ::GetWindowLongPtrW(main, GWL_STYLE);
    EXPECT_EQ(style & WS_THICKFRAME, 0) << "the border cannot resize it";
    RECT client{};
    ::GetClientRect(main, &client);
    RECT bar{};
    ::GetWindowRect(::FindWindowExW(main, nullptr, STATUSCLASSNAMEW, nullptr), &bar);
    EXPECT_EQ(client.right, 513);
    EXPECT_EQ(client.bottom, 388 + (bar.bottom - bar.top)) << "the status bar adds below";

    // GroupBox2 at (32, 147), Panel4 at (2, 38) in it, rollleft1 at (23, 8) in that.
    const RECT roll = InClient(main, window.Control("rollleft1"));
    EXPECT_EQ(roll.left, 57);
    EXPECT_EQ(roll.top, 193);
    EXPECT_EQ(roll.right - roll.left, 18);
    const RECT yaw = InClient(main, window.Control("yawright1"));
    EXPECT_EQ(yaw.left, 192);
    EXPECT_EQ(yaw.top, 252);
    const RECT start = InClient(main, window.Control("Start"));
    EXPECT_EQ(start.left, 402);
    EXPECT_EQ(start.top, 330);
    EXPECT_EQ(start.right, 473);
    EXPECT_EQ(start.bottom, 351);

    const HWND progress = window.Control("ProgressBar1");
    EXPECT_EQ(::SendMessageW(progress, PBM_GETBARCOLOR, 0, 0), 0x0052BD1F);
    EXPECT_EQ(::SendMessageW(progress, PBM_GETBKCOLOR, 0, 0), 0xFFFFFF);
    EXPECT_EQ(::SendMessageW(window.Control("ComSelect"), CB_GETMINVISIBLE, 0, 0), 8);

    const HMENU menu = ::GetMenu(main);
    ASSERT_EQ(::GetMenuItemCount(menu), 2);
    EXPECT_EQ(MenuText(::GetSubMenu(menu, 0), 0), L"&Open\tCtrl+O");
    EXPECT_EQ(MenuText(::GetSubMenu(menu, 0), 1), L"E&xit\tCtrl+Q");
    EXPECT_EQ(MenuText(::GetSubMenu(menu, 1), 0), L"&About");
    EXPECT_EQ(window.Controller().Settings(), DeviceSettings{});
}

// Tab visits FilePath, ComSelect, the orientation pair, the axis rows (yaw, roll, pitch),
// Open File, Start, AutoDetect; a radio pair with none selected is skipped.
TEST(Win32MainWindow, TabSkipsUnselectedRadioPairsAndVisitsTheRestInOrder) {
    MainWindow window(NoPort);
    const HWND main = window.Handle();
    const auto tour = [&] {
        std::vector<HWND> order;
        HWND at = window.Control("FilePath");
        do {
            at = ::GetNextDlgTabItem(main, at, FALSE);
            order.push_back(at);
        } while (at != window.Control("FilePath") && order.size() < 12);
        return order;
    };
    const auto c = [&](const char* name) { return window.Control(name); };
    EXPECT_EQ(tour(), (std::vector<HWND>{c("ComSelect"), c("Openfile"), c("Start"), c("AutoDetect"),
                                         c("FilePath")}));
    // The user clicks Horizontal and roll NOR; yaw REV from a click too.
    for (const char* radio : {"Horizont", "rollleft1", "yawright1"}) {
        ::SendMessageW(c(radio), BM_CLICK, 0, 0);
    }
    EXPECT_EQ(tour(),
              (std::vector<HWND>{c("ComSelect"), c("Horizont"), c("yawright1"), c("rollleft1"),
                                 c("Openfile"), c("Start"), c("AutoDetect"), c("FilePath")}));
    // The clicks ran the value rules: horizontal keeps bits 4 to 7 of 0, NOR of 0 gives 20.
    EXPECT_EQ(window.Controller().Settings().roll, 20);
    EXPECT_EQ(window.Controller().Settings().yaw, 0);
}

TEST(Win32DialogFolder, FollowsTheRuleOnWindowsPathsAndKeepsTheFolderInItsIniFile) {
    EXPECT_EQ(FolderOf("C:\\Program Files\\TVK9\\a.tvk"), "C:\\Program Files\\TVK9");
    EXPECT_EQ(FolderOf("C:\\a.tvk"), "C:\\");
    EXPECT_EQ(FolderOf("Z:/tmp/b.tvk"), "Z:/tmp");
    EXPECT_EQ(ProgramStem("C:\\x.y\\MYTOOL.V2.EXE"), "MYTOOL");

    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"tvk9-folder-test";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::string own = Narrow(folder);
    EXPECT_TRUE(FolderWritable(own));
    EXPECT_FALSE(FolderWritable(own + "\\no such folder"));

    Win32FolderMemory memory(folder + L"\\memory\\tvk9-programmer.ini");
    EXPECT_EQ(memory.Recall(), "");
    const DialogFolder installed(own + "\\no such folder\\", true, memory, "C:\\Users\\u");
    EXPECT_EQ(installed.Initial(), "C:\\Users\\u");
    installed.Opened(own + "\\a.tvk");
    EXPECT_EQ(Win32FolderMemory(folder + L"\\memory\\tvk9-programmer.ini").Recall(), own);
    EXPECT_EQ(installed.Initial(), own) << "the folder of the last file, in a later run too";

    ::DeleteFileW((folder + L"\\memory\\tvk9-programmer.ini").c_str());
    ::RemoveDirectoryW((folder + L"\\memory").c_str());
    ::RemoveDirectoryW(folder.c_str());
}

} // namespace
} // namespace tvk9::win32
