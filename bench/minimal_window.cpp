// The smallest Qt Widgets program a developer could start from for the same window: a main
// window of the same size (a File and a Help menu, a client area of 513 x 388, a status line
// below it) that shows text as the programmer's window does, one caption in the client area
// and one line in the status bar. A window without text would spare itself fontconfig, the
// font files and the text shaper, which every window with words on it pays for.

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    QWidget client;
    client.setFixedSize(513, 388);
    QLabel caption(QStringLiteral("USB INTERFACE"), &client);
    caption.move(32, 25);
    window.setCentralWidget(&client);
    window.menuBar()->addMenu(QStringLiteral("&File"))->addAction(QStringLiteral("&Open"));
    window.menuBar()->addMenu(QStringLiteral("&Help"))->addAction(QStringLiteral("&About"));
    window.statusBar()->showMessage(QStringLiteral("Looking for the sensor"));
    window.show();
    return QApplication::exec();
}
