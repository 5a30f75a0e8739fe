#include "attrlist.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "statx_fields.hpp"

namespace bwplatform {
namespace {

constexpr attrlist kRequest = {ATTR_BIT_MAP_COUNT, 0, 0xa204040b, 0, 0x2e, 0x205, 0};

class TempDir {
public:
    TempDir() {
        std::string templ = "/tmp/virirado-attrlist-XXXXXX";
        if (::mkdtemp(templ.data()) != nullptr) m_path = templ;
    }
    ~TempDir() {
        std::error_code ec;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
    }
    const std::string& path() const { return m_path; }
    std::string at(const std::string& rel) const { return m_path + "/" + rel; }
    void touch(const std::string& rel) const {
        int fd = ::open(at(rel).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }

private:
    std::string m_path;
};

struct Parsed {
    uint32_t length = 0;
    attribute_set_t set;
    std::string name;
};

// Just enough of a reader to see what the layer packed.
std::vector<Parsed> walk(const unsigned char* p, int count) {
    std::vector<Parsed> out;
    for (int i = 0; i < count; ++i) {
        Parsed r;
        std::memcpy(&r.length, p, 4);
        std::memcpy(&r.set, p + 4, sizeof r.set);
        size_t ref_at = 24 + ((r.set.commonattr & ATTR_CMN_ERROR) ? 4 : 0);
        attrreference_t ref;
        std::memcpy(&ref, p + ref_at, sizeof ref);
        r.name.assign(reinterpret_cast<const char*>(p + ref_at + ref.attr_dataoffset),
                      ref.attr_length - 1);
        EXPECT_EQ(p[ref_at + ref.attr_dataoffset + ref.attr_length - 1], '\0');
        out.push_back(r);
        p += r.length;
    }
    return out;
}

std::vector<std::string> readdir_names(const std::string& path) {
    std::vector<std::string> out;
    DIR* d = ::opendir(path.c_str());
    while (const dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") out.push_back(n);
    }
    ::closedir(d);
    return out;
}

// Every name, by repeated calls with a `size`-byte buffer.
std::vector<std::string> list_with(const std::string& path, size_t size) {
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    std::vector<uint64_t> buf(size / 8 + 1);
    std::vector<std::string> names;
    for (;;) {
        int n = getattrlistbulk(fd, &kRequest, buf.data(), size, 0);
        EXPECT_GE(n, 0) << std::strerror(errno);
        if (n <= 0) break;
        for (const Parsed& r : walk(reinterpret_cast<unsigned char*>(buf.data()), n)) {
            EXPECT_EQ(r.length % 8, 0u);
            names.push_back(r.name);
        }
    }
    EXPECT_EQ(getattrlistbulk(fd, &kRequest, buf.data(), size, 0), 0);  // stays at the end
    ::close(fd);
    return names;
}

TEST(AttrList, FullBufferLosesAndRepeatsNothing) {
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    for (int i = 0; i < 3000; ++i)
        dir.touch(std::string(1 + i % 100, 'a' + i % 26) + std::to_string(i));
    std::vector<std::string> expected = readdir_names(dir.path());
    ASSERT_EQ(expected.size(), 3000u);
    for (size_t size : {256u, 1000u, 4096u, 65'536u, 262'144u}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(list_with(dir.path(), size), expected);  // whole, and in delivery order
    }
}

TEST(AttrList, RefusedCallsMoveNothing) {
    TempDir dir;
    dir.touch("only-one-entry-here");
    int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::vector<uint64_t> buf(4096);
    auto call = [&](attrlist a, size_t size) {
        errno = 0;
        int n = getattrlistbulk(fd, &a, buf.data(), size, 0);
        return n < 0 ? -errno : n;
    };
    attrlist bad_count = kRequest, no_returned = kRequest, volume = kRequest, unknown = kRequest;
    bad_count.bitmapcount = 4;
    no_returned.commonattr &= ~ATTR_CMN_RETURNED_ATTRS;
    volume.volattr = 1;
    unknown.commonattr |= 0x4;  // an attribute this layer cannot deliver
    for (const attrlist& a : {bad_count, no_returned, volume, unknown})
        EXPECT_EQ(call(a, buf.size() * 8), -EINVAL);
    EXPECT_EQ(call(kRequest, 40), -ERANGE);  // not even one record fits
    ASSERT_EQ(call(kRequest, buf.size() * 8), 1);
    EXPECT_EQ(walk(reinterpret_cast<unsigned char*>(buf.data()), 1)[0].name, "only-one-entry-here");
    EXPECT_EQ(call(kRequest, buf.size() * 8), 0);
    ::close(fd);
}

class Pack : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        dir.touch("file");
        ASSERT_EQ(::mkdir(dir.at("folder").c_str(), 0755), 0);
        fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
    }
    void TearDown() override { ::close(fd); }
    ssize_t pack(const std::string& name, size_t room = 1024) {
        return detail::pack_entry(fd, kRequest, name.c_str(), name.size(), buf, room);
    }
    TempDir dir;
    int fd = -1;
    alignas(8) unsigned char buf[1024] = {};
};

TEST_F(Pack, VanishedLeftOutFailedKeptAsError) {
    EXPECT_EQ(pack("gone-already"), 0);
    ssize_t n = pack("file/below");  // the status call fails with ENOTDIR
    ASSERT_GT(n, 0);
    Parsed r = walk(buf, 1)[0];
    EXPECT_EQ(r.set.commonattr, ATTR_CMN_RETURNED_ATTRS | ATTR_CMN_NAME | ATTR_CMN_ERROR);
    EXPECT_EQ(r.set.fileattr | r.set.dirattr, 0u);
    uint32_t err = 0;
    std::memcpy(&err, buf + 24, 4);
    EXPECT_EQ(err, static_cast<uint32_t>(ENOTDIR));
    EXPECT_EQ(r.name, "file/below");
    EXPECT_EQ(pack("file", 40), -1);  // does not fit
}

TEST(StatxFields, SaturatingNanoseconds) {
    constexpr int64_t MAX = std::numeric_limits<int64_t>::max();
    constexpr int64_t MIN = std::numeric_limits<int64_t>::min();
    EXPECT_EQ(saturating_ns(0, 0), 0);
    EXPECT_EQ(saturating_ns(1, 5), 1'000'000'005);
    EXPECT_EQ(saturating_ns(-2, 500), -1'999'999'500);
    EXPECT_EQ(saturating_ns(9'223'372'036, 854'775'807), MAX);  // exactly representable
    EXPECT_EQ(saturating_ns(9'223'372'036, 854'775'808), MAX);
    EXPECT_EQ(saturating_ns(13'569'465'600, 0), MAX);  // 2400-01-01
    EXPECT_EQ(saturating_ns(MAX, 999'999'999), MAX);
    EXPECT_EQ(saturating_ns(MIN, 0), MIN);
    EXPECT_EQ(saturating_ns(-9'223'372'037, 0), MIN);
}

}  // namespace
}  // namespace bwplatform
