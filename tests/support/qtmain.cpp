// GoogleTest's main with a Qt application object, for tests that need an event loop.

#include "tempdirectory.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // The programs under test record their runs in a store of this test's own, never in the
    // account's.
    const support::TempDirectory data;
    ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
