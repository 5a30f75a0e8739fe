// The test binary's entry: the process-wide pool settings come first, before any test can
// start a worker, exactly as the engine's own main does.
#include <gtest/gtest.h>

#include "scan.hpp"

int main(int argc, char** argv) {
    auto threads = bwcore::scan::init_threads(64);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
