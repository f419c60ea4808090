#pragma once

// Which event of which control of the main window calls which handler of its logic, as the form
// stores the bindings. Every window (the Qt one, the Win32 one, the tests' simulated one) binds
// its controls from this one table. Constant data: any thread, any time.

#include "config/connection_controller.h"

#include <array>
#include <string_view>

namespace tvk9 {

enum class WindowEvent {
    Click,  // a button's click; for a radio button: becoming selected, by the user or by code
    Select, // the user picking an entry of the drop-down list (never code)
    Tick,   // a timer's interval elapsed
};

struct Binding {
    std::string_view source; // the control's name in the form
    WindowEvent event;
    void (ConnectionController::*handler)();
};

// Comm1's received data goes to Comm1ReceiveData and its hang-up request to Comm1RequestHangup;
// the window's own handlers (FormShow, the menu) are the window's.
inline constexpr std::array<Binding, 16> WindowBindings{{
    {"ComSelect", WindowEvent::Select, &ConnectionController::ComSelectSelect},
    {"AutoDetect", WindowEvent::Click, &ConnectionController::AutoDetectClick},
    {"Openfile", WindowEvent::Click, &ConnectionController::OpenfileClick},
    {"Start", WindowEvent::Click, &ConnectionController::Button3Click},
    {"Read", WindowEvent::Click, &ConnectionController::ReadClick},
    {"Vertic", WindowEvent::Click, &ConnectionController::VerticClick},
    {"Horizont", WindowEvent::Click, &ConnectionController::HorizontClick},
    {"rollleft1", WindowEvent::Click, &ConnectionController::rollleft1Click},
    {"rollright1", WindowEvent::Click, &ConnectionController::rollright1Click},
    {"pitchleft1", WindowEvent::Click, &ConnectionController::pitchleft1Click},
    {"pitchright1", WindowEvent::Click, &ConnectionController::pitchright1Click},
    {"yawleft1", WindowEvent::Click, &ConnectionController::yawleft1Click},
    {"yawright1", WindowEvent::Click, &ConnectionController::yawright1Click},
    {"Timer1", WindowEvent::Tick, &ConnectionController::Timer1Timer},
    {"Timer2", WindowEvent::Tick, &ConnectionController::Timer2Timer},
    {"Timer3", WindowEvent::Tick, &ConnectionController::Timer3Timer},
}};

// The handler bound to that control's event; nullptr when the form binds none.
constexpr void (ConnectionController::*BoundHandler(std::string_view source, WindowEvent event))() {
    for (const Binding& b : WindowBindings) {
        if (b.source == source && b.event == event) {
            return b.handler;
        }
    }
    return nullptr;
}

} // namespace tvk9
