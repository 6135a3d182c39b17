// The main of every test executable: private folders first, then GoogleTest.
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    vrtest::SetUpPrivateFolders();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
