// The viewer suites' entry: a Qt application on this stack frame (offscreen), and a settings suite
// of this process's own under the build folder (the viewer's mode and sizes live in the settings).
#include "support/ProcessConfigHome.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testsupport::ProcessConfigHome home(OLVEX_TEST_CONFIG_HOME);
    ::testing::InitGoogleTest(&argc, argv);
    int status = 0;
    {
        QApplication app(argc, argv);
        status = RUN_ALL_TESTS();
    }
    return status;
}
