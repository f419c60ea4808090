// The smallest Qt Widgets program a developer could start from for the same window: a main
// window with a File and a Help menu above a client area of 513 x 388, shown at once.

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    QWidget client;
    client.setFixedSize(513, 388);
    window.setCentralWidget(&client);
    window.menuBar()->addMenu(QStringLiteral("&File"))->addAction(QStringLiteral("&Open"));
    window.menuBar()->addMenu(QStringLiteral("&Help"))->addAction(QStringLiteral("&About"));
    window.show();
    return QApplication::exec();
}
