#include "app/win32/windows_notify_window.h"

#include "app/guarded.h"
#include "serial/comm.h"

#include <memory>
#include <utility>

namespace tvk9::win32 {

namespace {

constexpr wchar_t ClassName[] = L"TVK9NotifyWindow";

bool Ours(UINT msg) {
    return msg >= MsgReceiveData && msg <= MsgSendDataEmpty;
}

// A posted message back into the message it was made from: a block travels as the lParam.
NotifyMessage FromPosted(UINT msg, WPARAM wParam, LPARAM lParam) {
    NotifyMessage message{msg, wParam, static_cast<std::uintptr_t>(lParam), nullptr};
    if (msg == MsgReceiveData) {
        message.Buffer.reset(reinterpret_cast<std::uint8_t*>(lParam));
    }
    return message;
}

} // namespace

WindowNotifyChannel::WindowNotifyChannel() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = ClassName;
    ::RegisterClassExW(&windowClass); // a second channel finds the class registered
    window_ = ::CreateWindowExW(0, ClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                windowClass.hInstance, nullptr);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

WindowNotifyChannel::~WindowNotifyChannel() {
    MSG left{};
    while (::PeekMessageW(&left, window_, MsgReceiveData, MsgSendDataEmpty, PM_REMOVE)) {
        FromPosted(left.message, left.wParam, left.lParam); // its buffer goes here
        queued_.fetch_sub(1);
    }
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    ::DestroyWindow(window_);
}

bool WindowNotifyChannel::Post(NotifyMessage message) noexcept {
    if (!HasRoomFor(message.Msg, queued_.fetch_add(1))) {
        queued_.fetch_sub(1);
        return false;
    }
    const LPARAM lParam = message.Buffer ? reinterpret_cast<LPARAM>(message.Buffer.get())
                                         : static_cast<LPARAM>(message.LParam);
    if (!::PostMessageA(window_, message.Msg, message.WParam, lParam)) {
        queued_.fetch_sub(1);
        if (message.Msg == MsgRequestHangup) {
            hangupLeftOver_.store(message.WParam + 1);
            return true;
        }
        return false; // the buffer stays with the message and goes with it
    }
    (void)message.Buffer.release(); // the posted message owns it now
    return true;
}

void WindowNotifyChannel::Deliver(NotifyMessage message) {
    queued_.fetch_sub(1);
    if (comm_ != nullptr) {
        guarded([this, &message] { comm_->Dispatch(std::move(message)); })();
    }
    const std::uintptr_t leftOver = hangupLeftOver_.exchange(0);
    if (leftOver != 0 && comm_ != nullptr) {
        guarded([this, leftOver] {
            comm_->Dispatch(NotifyMessage{MsgRequestHangup, leftOver - 1, 0, nullptr});
        })();
    }
}

LRESULT CALLBACK WindowNotifyChannel::Procedure(HWND window, UINT msg, WPARAM wParam,
                                                LPARAM lParam) {
    auto* channel =
        reinterpret_cast<WindowNotifyChannel*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!Ours(msg)) {
        return ::DefWindowProcW(window, msg, wParam, lParam);
    }
    NotifyMessage message = FromPosted(msg, wParam, lParam);
    if (channel != nullptr) {
        channel->Deliver(std::move(message));
    }
    return 0;
}

} // namespace tvk9::win32
