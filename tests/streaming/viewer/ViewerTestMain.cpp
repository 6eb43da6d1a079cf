// The viewer suites' entry: a Qt application on this stack frame (offscreen), and a settings suite
// of this process's own under the build folder (ctest runs the cases as parallel processes, and
// the viewer's mode and sizes live in the settings).
#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    const std::filesystem::path home =
        std::filesystem::path(OLVEX_TEST_CONFIG_HOME) / ("process-" + std::to_string(getpid()));
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    int status = 0;
    {
        QApplication app(argc, argv);
        status = RUN_ALL_TESTS();
    }
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return status;
}
