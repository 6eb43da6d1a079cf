// The entry of the test programs that bring no main of their own: GoogleTest with a settings home
// of this process's own.
#include "support/ProcessConfigHome.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testsupport::ProcessConfigHome home;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
