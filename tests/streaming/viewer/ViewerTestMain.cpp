// The viewer suites' entry: a Qt application on this stack frame (offscreen), and the settings
// suite kept in the build folder.
#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    setenv("XDG_CONFIG_HOME", OLVEX_TEST_CONFIG_HOME, 1);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
