// The window suites' entry (the desktop layer, panel, note tool, viewer): the Qt application lives on this
// stack frame, so it is gone before the exit handlers tear down Qt's own global state (a static application
// would outlive it and crash at exit). The settings suite of the tests (the viewer's mode and sizes live
// there too) stays in the build folder, one per process. Qt's own messages go into the log as in
// the agent, so listing the tests at build time prints none of them.
#include "platform/desktop/QtMessages.h"
#include "support/ProcessConfigHome.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testsupport::ProcessConfigHome home(OLVEX_TEST_CONFIG_HOME);
    ::testing::InitGoogleTest(&argc, argv);
    desktop::installQtMessageHandler();
    int status = 0;
    {
        QApplication app(argc, argv);
        status = RUN_ALL_TESTS();
    }
    return status;
}
