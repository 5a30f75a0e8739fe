#include "ClientServices.hpp"

#include <sys/statvfs.h>

#include <algorithm>
#include <ctime>

#include "EngineLog.hpp"
#include "Numeric.hpp"

namespace virirado {

namespace {

std::optional<int64_t> statvfsFree(const std::string& path) {
    struct statvfs vfs {};
    if (::statvfs(path.c_str(), &vfs) != 0) return std::nullopt;
    return durozizo::saturatingMul(
        static_cast<int64_t>(std::min<unsigned long long>(vfs.f_bavail, durozizo::kInt64Max)),
        static_cast<int64_t>(vfs.f_frsize));
}

}  // namespace

ClientServices ClientServices::system(std::string home) {
    ClientServices s;
    s.home = home;
    auto log = std::make_shared<EngineLog>(home);
    s.log = [log](std::string_view prefix, std::string_view text) { log->append(prefix, text); };
    s.writeDeleteLog = [home](const std::vector<CleanLedger::Taken>& results,
                              const std::vector<PreviewRow>& fallback, std::string_view kept) {
        return DeleteLog::write(results, fallback, std::nullopt, home, std::time(nullptr), kept);
    };
    s.writeRefusedLog = [home](const std::vector<HeldRow>& held, std::string_view kept) {
        return DeleteLog::refused(held, home, std::time(nullptr), kept);
    };
    s.freeSpace = [home] { return statvfsFree(home); };
    return s;
}

}  // namespace virirado
