#include "darwin_sys.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <utility>

namespace bwplatform {

int setiopolicy_np(int, int, int) { return 0; }

namespace {

// Distinct (package, core) pairs over the online CPUs; 0 when the topology is unreadable.
int physical_cores() {
    std::set<std::pair<int, int>> cores;
    for (int cpu = 0; cpu < 4096; ++cpu) {
        std::string base = "/sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/topology/";
        std::ifstream core(base + "core_id"), package(base + "physical_package_id");
        int c = 0, p = 0;
        if (!(core >> c)) {
            if (cpu > 0 && !cores.empty()) {
                std::ifstream probe("/sys/devices/system/cpu/cpu" + std::to_string(cpu + 1) +
                                    "/topology/core_id");
                if (!probe) break;
            }
            continue;
        }
        if (!(package >> p)) p = 0;
        cores.emplace(p, c);
    }
    return static_cast<int>(cores.size());
}

}  // namespace

int sysctlbyname(const char* name, void* oldp, std::size_t* oldlenp, const void* newp,
                 std::size_t) {
    if (name == nullptr || std::strcmp(name, "hw.perflevel0.physicalcpu") != 0 || newp) {
        errno = ENOENT;
        return -1;
    }
    int n = physical_cores();
    if (n <= 0) {
        errno = ENOENT;
        return -1;
    }
    if (oldlenp == nullptr || oldp == nullptr || *oldlenp < sizeof(int)) {
        if (oldlenp) *oldlenp = sizeof(int);
        errno = ENOMEM;
        return -1;
    }
    std::memcpy(oldp, &n, sizeof n);
    *oldlenp = sizeof(int);
    return 0;
}

}  // namespace bwplatform
