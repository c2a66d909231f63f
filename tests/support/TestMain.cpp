#include "TestSupport.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    qmtest::SetUpTestHome();
    const int rc = RUN_ALL_TESTS();
    qmtest::TearDownTestHome();
    return rc;
}
