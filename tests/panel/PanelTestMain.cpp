// The window suites' entry: the Qt application lives on this stack frame, so it is gone before the
// exit handlers tear down Qt's own global state (a static application would outlive it and crash
// at exit).
#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The settings suite of the tests stays in the build folder.
    setenv("XDG_CONFIG_HOME", OLVEX_TEST_CONFIG_HOME, 1);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
