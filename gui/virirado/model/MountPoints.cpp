#include "MountPoints.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

namespace virirado::mountpoints {

namespace {

// The fifth field of a mountinfo line: "ID PARENT MAJOR:MINOR ROOT POINT ...".
constexpr int kPointField = 4;

bool isOctal(char c) {
    return c >= '0' && c <= '7';
}

// A field with its "\ooo" escapes decoded; none when an escape is malformed
// or stands for a NUL.
std::optional<std::string> decoded(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out.push_back(field[i]);
            continue;
        }
        if (field.size() - i < 4 || !isOctal(field[i + 1]) || !isOctal(field[i + 2]) ||
            !isOctal(field[i + 3]))
            return std::nullopt;
        const int value =
            (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
        if (value == 0 || value > 0xFF) return std::nullopt;
        out.push_back(static_cast<char>(value));
        i += 3;
    }
    return out;
}

std::optional<std::string> pointOf(std::string_view line) {
    std::size_t start = 0;
    for (int field = 0; field < kPointField; ++field) {
        const std::size_t space = line.find(' ', start);
        if (space == std::string_view::npos) return std::nullopt;
        start = space + 1;
    }
    const std::size_t end = line.find(' ', start);
    if (end == std::string_view::npos) return std::nullopt;
    auto point = decoded(line.substr(start, end - start));
    if (!point || point->empty() || point->front() != '/') return std::nullopt;
    return point;
}

}  // namespace

std::vector<std::string> parse(std::string_view mountinfo) {
    std::vector<std::string> points;
    while (!mountinfo.empty()) {
        const std::size_t end = mountinfo.find('\n');
        const std::string_view line = mountinfo.substr(0, end);
        if (line.find('\0') == std::string_view::npos) {
            if (auto point = pointOf(line)) points.push_back(std::move(*point));
        }
        if (end == std::string_view::npos) break;
        mountinfo.remove_prefix(end + 1);
    }
    return points;
}

std::vector<std::string> read() {
    const int fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    // The file tells no size: it is read to its end.
    std::string text;
    char buffer[16384];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (n < 0) return {};
    std::vector<std::string> points = parse(text);
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    return points;
}

std::vector<std::string> inside(const std::vector<std::string>& sorted, const std::string& real) {
    // Everything that continues `real` with "/" sorts together, before the
    // first that continues it with "0".
    const std::string below = real == "/" ? "/" : real + "/";
    std::string past = below;
    past.back() = '0';
    std::vector<std::string> found;
    for (auto it = std::lower_bound(sorted.begin(), sorted.end(), below);
         it != sorted.end() && *it < past; ++it) {
        if (*it != real) found.push_back(*it);
    }
    return found;
}

}  // namespace virirado::mountpoints
