// Program entry: the application object, the main window, one hidden About window, the
// message loop. The program takes no arguments of its own and always ends with exit code 0.

#include "app/about_window.h"
#include "app/application.h"
#include "app/main_window.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    tvk9::SetupApplication(app);

    tvk9::AboutForms aboutForms;
    tvk9::TFrm_Interface Frm_Interface(aboutForms); // the first window: the main window
    aboutForms.Create();                            // hidden until Help > About

    Frm_Interface.show();
    QApplication::exec();
    return 0;
}
