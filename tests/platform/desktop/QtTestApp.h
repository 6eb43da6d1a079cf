// The Qt application of a window suite: made on the stack of the suites' shared main
// (tests/support/WindowTestMain.cpp), so it is gone before the exit handlers tear down Qt's own
// global state. Test thread only.
#pragma once

#include <QApplication>

namespace testing_support {

inline QApplication& qtApp() {
    return *qobject_cast<QApplication*>(QCoreApplication::instance());
}

} // namespace testing_support
