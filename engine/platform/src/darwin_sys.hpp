#pragma once
// The few Darwin process calls the scan driver makes, answered from what Linux offers.
#include <cstddef>

namespace bwplatform {

inline constexpr int IOPOL_TYPE_VFS_MATERIALIZE_DATALESS_FILES = 3;
inline constexpr int IOPOL_SCOPE_PROCESS = 0;
inline constexpr int IOPOL_MATERIALIZE_DATALESS_FILES_OFF = 1;

// Linux never materialises a file on read, so every policy is already in force: returns 0.
int setiopolicy_np(int iotype, int scope, int policy);

// Answers "hw.perflevel0.physicalcpu" (an int) with the number of distinct physical cores
// in /sys; every other name, a missing topology or a too-small buffer fails with -1 and errno.
int sysctlbyname(const char* name, void* oldp, std::size_t* oldlenp, const void* newp,
                 std::size_t newlen);

}  // namespace bwplatform
