// The start-up of every test program: settings go to a configuration folder
// of the program's own (never the person's), and an empty simulated desktop
// is the installed desktop for tests that do not make a world of their own.
#include "SimWorld.h"
#include "TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    TemporaryDirectory configHome;
    ::setenv("XDG_CONFIG_HOME", configHome.path().c_str(), 1);
    SimWorld::installEmptyDesktop();
    return RUN_ALL_TESTS();
}
