#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>

#include "darwin_sys.hpp"

namespace bwplatform {
namespace {

TEST(DarwinSys, IoPolicyAlwaysInForce) {
    EXPECT_EQ(setiopolicy_np(IOPOL_TYPE_VFS_MATERIALIZE_DATALESS_FILES, IOPOL_SCOPE_PROCESS,
                             IOPOL_MATERIALIZE_DATALESS_FILES_OFF),
              0);
}

TEST(DarwinSys, PhysicalCoresOrFailure) {
    int n = 0;
    std::size_t len = sizeof n;
    if (sysctlbyname("hw.perflevel0.physicalcpu", &n, &len, nullptr, 0) == 0) {
        EXPECT_GE(n, 1);
        EXPECT_EQ(len, sizeof(int));
    } else {
        EXPECT_NE(errno, 0);
    }
    len = sizeof n;
    EXPECT_EQ(sysctlbyname("hw.ncpu.unknown", &n, &len, nullptr, 0), -1);
    std::size_t tiny = 1;
    char c = 0;
    EXPECT_EQ(sysctlbyname("hw.perflevel0.physicalcpu", &c, &tiny, nullptr, 0), -1);
}

}  // namespace
}  // namespace bwplatform
