// The Win32 adapters' toolkit behaviours, on real controls of a real window: what the window
// logic relies on and Win32 does otherwise by itself.

#include "app/win32/windows_adapters.h"
#include "app/win32/windows_notify_window.h"
#include "serial/comm.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <map>
#include <thread>
#include <utility>
#include <vector>

namespace tvk9::win32 {
namespace {

// A top-level window that notes the notifications its controls send it, and hands a radio
// button's BN_CLICKED to `onClicked`, as the main window does.
class Parent {
public:
    Parent() {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"TVK9TestParent";
        ::RegisterClassExW(&windowClass);
        window = ::CreateWindowExW(0, L"TVK9TestParent", L"test", WS_OVERLAPPEDWINDOW, 0, 0, 400,
                                   300, nullptr, nullptr, windowClass.hInstance, nullptr);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Parent() { ::DestroyWindow(window); }

    HWND Child(const wchar_t* className, DWORD style, int id) const {
        return ::CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 100, 100,
                                 window, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                 ::GetModuleHandleW(nullptr), nullptr);
    }
    int Notified(int id, WORD code) const {
        const auto it = notified.find({id, code});
        return it == notified.end() ? 0 : it->second;
    }

    HWND window = nullptr;
    std::map<std::pair<int, WORD>, int> notified;
    std::map<HWND, Win32RadioButton*> radios;
    std::function<void()> onTimer;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<Parent*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr && msg == WM_COMMAND) {
            ++self->notified[{LOWORD(wParam), HIWORD(wParam)}];
            if (const auto it = self->radios.find(reinterpret_cast<HWND>(lParam));
                it != self->radios.end() && HIWORD(wParam) == BN_CLICKED) {
                it->second->Clicked();
            }
            return 0;
        }
        if (self != nullptr && msg == WM_TIMER && self->onTimer) {
            self->onTimer();
            return 0;
        }
        return ::DefWindowProcW(window, msg, wParam, lParam);
    }
};

// Dispatches what the thread's queue holds now.
void Pump() {
    MSG msg{};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

bool TabStop(HWND control) {
    return (::GetWindowLongPtrW(control, GWL_STYLE) & WS_TABSTOP) != 0;
}

// Two pairs of BS_RADIOBUTTON, as the window's rows have them.
struct TwoPairs {
    Parent parent;
    std::array<int, 4> clicks{};
    std::array<HWND, 4> buttons{};
    std::vector<Win32RadioButton> radios;

    TwoPairs() {
        radios.reserve(4);
        for (int i = 0; i < 4; ++i) {
            buttons[i] = parent.Child(WC_BUTTONW, BS_RADIOBUTTON, 10 + i);
            radios.emplace_back(buttons[i], [this, i] { ++clicks[static_cast<std::size_t>(i)]; });
            parent.radios[buttons[i]] = &radios.back();
        }
        radios[0].Pair(radios[1]);
        radios[2].Pair(radios[3]);
    }
};

TEST(Win32Radio,
     SelectingFromCodeRaisesTheClickOnceOnlyForTheNewButtonThoughBmSetcheckNotifiesNothing) {
    TwoPairs g;
    // What the adapter exists for: checking a button by message tells its parent nothing.
    ::SendMessageW(g.buttons[3], BM_SETCHECK, BST_CHECKED, 0);
    Pump();
    EXPECT_EQ(g.parent.Notified(13, BN_CLICKED), 0);
    ::SendMessageW(g.buttons[3], BM_SETCHECK, BST_UNCHECKED, 0);
    for (HWND button : g.buttons) {
        EXPECT_FALSE(TabStop(button)) << "a pair with none selected is skipped by Tab";
    }

    g.radios[0].Select();
    EXPECT_TRUE(g.radios[0].Selected());
    EXPECT_EQ(g.clicks, (std::array<int, 4>{1, 0, 0, 0}));
    g.radios[0].Select(); // already selected: nothing
    EXPECT_EQ(g.clicks, (std::array<int, 4>{1, 0, 0, 0}));
    g.radios[1].Select(); // the partner is unselected without an event
    EXPECT_FALSE(g.radios[0].Selected());
    EXPECT_EQ(::SendMessageW(g.buttons[0], BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(g.clicks, (std::array<int, 4>{1, 1, 0, 0}));
    EXPECT_FALSE(TabStop(g.buttons[0]));
    EXPECT_TRUE(TabStop(g.buttons[1])) << "only the selected button is a tab stop";

    g.radios[2].Select(); // the other pair, leaving the first alone
    EXPECT_TRUE(g.radios[1].Selected());
    EXPECT_EQ(g.clicks, (std::array<int, 4>{1, 1, 1, 0}));
    Pump();
    EXPECT_EQ(g.parent.Notified(10, BN_CLICKED) + g.parent.Notified(11, BN_CLICKED), 0);
}

TEST(Win32Radio, AUserClickRaisesTheHandlerOnlyWhenItChangesTheSelection) {
    TwoPairs g;
    // BM_CLICK plays the mouse's press and release: the button sends BN_CLICKED.
    ::SendMessageW(g.buttons[0], BM_CLICK, 0, 0);
    EXPECT_EQ(g.parent.Notified(10, BN_CLICKED), 1);
    EXPECT_TRUE(g.radios[0].Selected());
    EXPECT_EQ(g.clicks, (std::array<int, 4>{1, 0, 0, 0}));
    ::SendMessageW(g.buttons[0], BM_CLICK, 0, 0);
    EXPECT_TRUE(g.radios[0].Selected()) << "a click never unselects";
    EXPECT_EQ(g.clicks, (std::array<int, 4>{1, 0, 0, 0}));
    ::SendMessageW(g.buttons[1], BM_CLICK, 0, 0);
    EXPECT_FALSE(g.radios[0].Selected());
    EXPECT_EQ(g.clicks, (std::array<int, 4>{1, 1, 0, 0}));
}

TEST(Win32Combo, NothingDoneFromCodeSendsCbnSelchangeButAUsersKeyDoes) {
    Parent parent;
    const HWND box = parent.Child(WC_COMBOBOXW, CBS_DROPDOWNLIST | CBS_HASSTRINGS, 20);
    Win32ComboBox port(box);
    port.AddItems({"COM9", "COM10", "COM1", "COM\xE9"});
    EXPECT_EQ(port.Count(), 4);
    EXPECT_EQ(port.ItemIndex(), -1) << "filling an empty list selects nothing";
    EXPECT_EQ(port.Item(1), "COM10") << "in the order given, not sorted";
    EXPECT_EQ(port.Item(3), "COM\xE9") << "bytes of the ANSI code page come back as they were";
    port.SetItemIndex(1);
    EXPECT_EQ(port.Text(), "COM10");
    port.SetItemIndex(7);
    EXPECT_EQ(port.ItemIndex(), -1);
    port.Clear();
    EXPECT_EQ(port.Count(), 0);
    Pump();
    EXPECT_EQ(parent.Notified(20, CBN_SELCHANGE), 0);

    port.AddItems({"COM3", "COM4"});
    port.SetItemIndex(0);
    ::SendMessageW(box, WM_KEYDOWN, VK_DOWN, 0); // the user's arrow key picks the next entry
    Pump();
    EXPECT_EQ(parent.Notified(20, CBN_SELCHANGE), 1);
    EXPECT_EQ(port.Text(), "COM4");
}

// SetTimer's own rule, as Microsoft documents it: a timer of the same window and identifier is
// replaced, and starts afresh. Ticks on a simulated clock.
class SimTimerHost final : public TimerHost {
public:
    void Start(UINT_PTR id, unsigned ms) override { running_[id] = {now_ + ms, ms}; }
    void Stop(UINT_PTR id) override { running_.erase(id); }
    // Moves the clock to `until`, noting each tick's moment.
    void Advance(unsigned until) {
        for (;;) {
            auto next = running_.begin();
            for (auto it = running_.begin(); it != running_.end(); ++it) {
                next = it->second.first < next->second.first ? it : next;
            }
            if (next == running_.end() || next->second.first > until) {
                break;
            }
            now_ = next->second.first;
            ticks.push_back(now_);
            next->second.first += next->second.second;
        }
        now_ = until;
    }
    std::vector<unsigned> ticks;

private:
    unsigned now_ = 0;
    std::map<UINT_PTR, std::pair<unsigned, unsigned>> running_; // next tick, interval
};

TEST(Win32Timer, EnablingARunningTimerOrGivingItsIntervalAgainDoesNotRestartIt) {
    SimTimerHost host;
    Win32Timer timer(host, 1);
    timer.SetInterval(500);
    timer.SetEnabled(true); // at 0
    host.Advance(300);
    timer.SetEnabled(true); // running: the period goes on
    timer.SetInterval(500);
    host.Advance(600);
    timer.SetInterval(700); // a new interval starts afresh at 600
    host.Advance(1400);
    timer.SetEnabled(false);
    host.Advance(5000);
    EXPECT_EQ(host.ticks, (std::vector<unsigned>{500, 1300}));
    timer.SetEnabled(true); // enabled again at 5000: a whole period
    host.Advance(5800);
    EXPECT_EQ(host.ticks.back(), 5700u);
}

TEST(Win32Modal, AMessageBoxKeepsTimerTicksAndReceivedDataFlowing) {
    Parent parent;
    WindowNotifyChannel channel;
    TComm comm(channel, {});
    channel.Attach(comm);
    std::string received;
    comm.OnReceiveData = [&](TComm&, const std::uint8_t* data, std::uint16_t length) {
        received.assign(reinterpret_cast<const char*>(data), length);
    };
    // A worker's block, posted from another thread while the box is up.
    std::thread worker([&channel] {
        auto block = std::make_unique<std::uint8_t[]>(3);
        block[0] = 0xBB;
        block[1] = 0x03;
        channel.Post({MsgReceiveData, 2, 0, std::move(block)});
    });
    WindowTimerHost host(parent.window);
    Win32Timer timer(host, 7);
    timer.SetInterval(20);
    timer.SetEnabled(true);
    int ticks = 0;
    bool boxOpen = false;
    // The window's ticks reach it through the box's own loop; after two of them and the block,
    // a tick closes the box, which nothing else does.
    parent.onTimer = [&] {
        ticks += boxOpen ? 1 : 0;
        const HWND box = ::FindWindowW(L"#32770", L"modal test");
        if (ticks >= 2 && received.size() == 2 && box != nullptr) {
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
    };
    boxOpen = true;
    ::MessageBoxW(parent.window, L"ticks go on", L"modal test", MB_OK | MB_ICONINFORMATION);
    boxOpen = false;
    worker.join();
    timer.SetEnabled(false);
    EXPECT_GE(ticks, 2);
    EXPECT_EQ(received, "\xBB\x03");
}

TEST(WindowNotifyChannel, HoldsTenThousandUndispatchedMessagesAndAHangupBeyond) {
    WindowNotifyChannel channel;
    TComm comm(channel, {});
    channel.Attach(comm);
    int events = 0;
    comm.OnRequestHangup = comm.OnSendDataEmpty = [&](TComm&) { ++events; };
    for (int i = 0; i < 10000; ++i) {
        ASSERT_TRUE(channel.Post({MsgSendDataEmpty, 0, 0, nullptr}));
    }
    EXPECT_FALSE(channel.Post({MsgSendDataEmpty, 0, 0, nullptr}));
    EXPECT_TRUE(channel.Post({MsgRequestHangup, 0, 0, nullptr}));
    Pump();
    EXPECT_EQ(events, 10001);
    EXPECT_TRUE(channel.Post({MsgSendDataEmpty, 0, 0, nullptr})); // dispatched ones made room
    Pump();
}

// The blocks this test posts, and how many of them have been freed.
std::array<std::atomic<void*>, 3> watched{};
std::atomic<int> freed{0};

TEST(WindowNotifyChannel, FreesTheBlocksOfItsQueuedMessagesWhenItGoes) {
    {
        WindowNotifyChannel channel;
        for (std::atomic<void*>& block : watched) {
            auto buffer = std::make_unique<std::uint8_t[]>(2);
            block = buffer.get();
            ASSERT_TRUE(channel.Post({MsgReceiveData, 1, 0, std::move(buffer)}));
        }
        EXPECT_EQ(channel.Queued(), 3u);
        EXPECT_EQ(freed, 0) << "a posted block belongs to its message";
    }
    EXPECT_EQ(freed, 3) << "a window that goes takes its messages along, not their blocks";
    for (std::atomic<void*>& block : watched) {
        block = nullptr;
    }
}

} // namespace
} // namespace tvk9::win32

// Every delete[] of the test program passes here, to see the watched blocks go.
void operator delete[](void* pointer) noexcept {
    for (std::atomic<void*>& block : tvk9::win32::watched) {
        if (pointer != nullptr && block == pointer) {
            ++tvk9::win32::freed;
        }
    }
    std::free(pointer);
}

void operator delete[](void* pointer, std::size_t) noexcept {
    operator delete[](pointer);
}
