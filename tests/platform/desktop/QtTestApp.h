// One QApplication for a test executable, made on first use on the test's main thread (run the
// suites with QT_QPA_PLATFORM=offscreen).
#pragma once

#include <QApplication>

namespace testing_support {

inline QApplication& qtApp() {
    static int argc = 1;
    static char name[] = "olvex-test";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

} // namespace testing_support
