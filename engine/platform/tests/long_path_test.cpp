#include "long_path.hpp"

#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace bwplatform {
namespace {

// A chain of folders named by 200 letters under a fresh temporary folder, made one level at a
// time so it may pass what a path can hold; removed with `rm -rf`.
class Chain {
public:
    explicit Chain(int levels) {
        std::string templ = "/tmp/virirado-long-XXXXXX";
        if (::mkdtemp(templ.data()) == nullptr) return;
        m_top = templ;
        m_deepest = m_top;
        int fd = ::open(m_top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int i = 0; i < levels && fd >= 0; ++i) {
            ::mkdirat(fd, NAME.c_str(), 0755);
            int next = ::openat(fd, NAME.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = next;
            m_deepest += "/" + NAME;
        }
        if (fd >= 0) {
            ::close(::openat(fd, "f", O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
            ::close(fd);
        }
    }
    ~Chain() {
        if (!m_top.empty()) std::system(("rm -rf '" + m_top + "'").c_str());
    }
    const std::string& top() const { return m_top; }
    const std::string& deepest() const { return m_deepest; }

    inline static const std::string NAME = std::string(200, 'n');

private:
    std::string m_top;
    std::string m_deepest;
};

bool is_file(const LongPath& at) {
    struct stat st {};
    return at.error() == 0 && ::fstatat(at.dirfd(), at.rest(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(st.st_mode);
}

bool is_folder(const LongPath& at) {
    struct stat st {};
    return at.error() == 0 && ::fstatat(at.dirfd(), at.rest(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISDIR(st.st_mode);
}

TEST(LongPath, ShortPathsPassUnchanged) {
    LongPath at("/tmp/x/../y");
    EXPECT_EQ(at.error(), 0);
    EXPECT_EQ(at.dirfd(), AT_FDCWD);
    EXPECT_STREQ(at.rest(), "/tmp/x/../y");
    LongPath empty("");
    EXPECT_EQ(empty.dirfd(), AT_FDCWD);
    EXPECT_STREQ(empty.rest(), "");  // still fails as "" does, not as "."
}

// Every form a whole path could take reaches the same file, however long.
TEST(LongPath, ReachesWhatTheWholePathNames) {
    Chain c(40);  // about 8,000 bytes
    ASSERT_FALSE(c.top().empty());
    ASSERT_GT(c.deepest().size(), std::size_t{PATH_MAX});
    struct stat whole {};
    EXPECT_NE(::stat(c.deepest().c_str(), &whole), 0);  // what the kernel refuses
    EXPECT_EQ(errno, ENAMETOOLONG);

    EXPECT_TRUE(is_file(LongPath(c.deepest() + "/f")));
    EXPECT_TRUE(is_folder(LongPath(c.deepest())));
    EXPECT_TRUE(is_folder(LongPath(c.deepest() + "/")));
    EXPECT_TRUE(is_folder(LongPath(c.deepest() + "///")));
    std::string doubled = c.top();
    for (int i = 0; i < 40; ++i)
        doubled += "//" + Chain::NAME;
    EXPECT_TRUE(is_file(LongPath(doubled + "/f")));
    // ".." steps up across the pieces as in the whole path.
    EXPECT_TRUE(is_file(LongPath(c.deepest() + "/../" + Chain::NAME + "/f")));
    EXPECT_FALSE(is_file(LongPath(c.deepest() + "/" + Chain::NAME + "/../f")));  // no such folder
    EXPECT_TRUE(is_folder(LongPath(c.deepest() + "/../" + Chain::NAME)));

    LongPath missing(c.deepest() + "/nothing/f");
    EXPECT_FALSE(is_file(missing));
    std::string gone = c.top();
    for (int i = 0; i < 30; ++i)
        gone += "/" + (i == 3 ? std::string("absent") : Chain::NAME);
    EXPECT_EQ(LongPath(gone + "/f").error(), ENOENT);
    // A file on the way is no folder to go through.
    EXPECT_EQ(LongPath(c.deepest() + "/f/" + std::string(PATH_MAX, 'x')).error(), ENOTDIR);
}

TEST(LongPath, ANameLongerThanThePathLimitCannotBeReached) {
    EXPECT_EQ(LongPath("/" + std::string(PATH_MAX + 10, 'x')).error(), ENAMETOOLONG);
    EXPECT_EQ(LongPath(std::string(PATH_MAX + 10, 'x')).error(), ENAMETOOLONG);
}

}  // namespace
}  // namespace bwplatform
