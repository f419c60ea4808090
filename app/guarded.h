#pragma once

// The message loop's error guard, the same in every front end: an error that escapes an event
// handler is shown in the error box and the program goes on with the next message.

#include "common/error.h"

#include <concepts>
#include <exception>
#include <string>
#include <utility>

namespace tvk9 {

// The front end's error box: the message as AsShown gives it, an error icon, one OK button, the
// application title, owned by the active window and modal to the program. Returns when the user
// has closed it. Called on the user-interface thread.
void ShowErrorBox(const std::string& message);

// Wraps an event handler so that no exception unwinds through the toolkit. The wrapper takes
// exactly the arguments the handler takes, so an event may carry more than the handler needs.
template <class Handler> auto guarded(Handler handler) {
    return [handler = std::move(handler)]<class... Args>(Args&&... args)
        requires std::invocable<const Handler&, Args...>
    {
        try {
            handler(std::forward<Args>(args)...);
        } catch (const Exception& e) {
            ShowErrorBox(e.what());
        } catch (const std::exception& e) {
            ShowErrorBox(e.what());
        } catch (...) {
            ShowErrorBox("Unknown error");
        }
    };
}

} // namespace tvk9
