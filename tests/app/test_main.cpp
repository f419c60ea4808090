// One QApplication for every case, on the offscreen platform unless another is asked for.

#include "app/qt/application.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The C locale unless a run asks for another (the window tests also run under a comma one).
    if (qEnvironmentVariableIsEmpty("LC_ALL")) {
        qputenv("LC_ALL", "C");
    }
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    tvk9::SetupApplication(app);
    return RUN_ALL_TESTS();
}
