#pragma once

// The application object's own rules: its title, the look every window shares, and the error
// box that shows any error escaping an event handler.

#include "common/error.h"

#include <QFont>
#include <QString>

#include <concepts>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

class QApplication;

namespace tvk9 {

// The program file's name without its folder, cut before its first full stop, every character
// after the first in lower case: "C:\\x\\MYTOOL.V2.EXE" gives "Mytool".
QString ApplicationTitle(const QString& programPath);

// The error's message, with a full stop appended when its last character sorts above ".".
QString ErrorBoxText(const std::string& message);

// Title, style and palette for the whole program; call once, right after the QApplication.
void SetupApplication(QApplication& app);

// The main window's font: "MS Sans Serif" 8 pt, or the nearest at the same character height.
QFont WindowFont();

// Error icon, one OK button, the application title, owned by the active window, modal to the
// program. Returns when the user has closed it.
void ShowErrorBox(const std::string& message);

// Wraps an event handler so that no exception unwinds through the toolkit: an error that
// escapes the handler is shown in the error box and the program goes on. The wrapper takes
// exactly the arguments the handler takes, so a signal may carry more than the handler needs.
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
