#pragma once

// The application object's own rules: its title, the look every window shares, and the error
// box that shows any error escaping an event handler (ShowErrorBox of app/guarded.h).

#include "app/guarded.h"

#include <QFont>
#include <QString>

class QApplication;

namespace tvk9 {

// The program file's name without its folder, cut before its first full stop, every character
// after the first in lower case: "C:\\x\\MYTOOL.V2.EXE" gives "Mytool".
QString ApplicationTitle(const QString& programPath);

// Title, style and palette for the whole program; call once, right after the QApplication.
void SetupApplication(QApplication& app);

// The main window's font: "MS Sans Serif" 8 pt, or the nearest at the same character height.
QFont WindowFont();

} // namespace tvk9
