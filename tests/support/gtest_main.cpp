// Shared main() of the GoogleTest programs: a Qt application object exists
// for the whole run, on the offscreen platform unless told otherwise.
#include VELLORAN_TEST_APP_HEADER

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The application object comes first, so test tables may hold pixmaps.
    VELLORAN_TEST_APP app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
