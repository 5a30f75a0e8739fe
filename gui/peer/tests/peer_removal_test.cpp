// Removal of items deeper than the process may hold descriptors open: the walk
// keeps a bounded number of folders open and tells the true reason when the
// system runs out of them anyway.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <set>

#include "clean.hpp"
#include "peer_harness.hpp"

namespace peer_test {
namespace {

// Lowers the soft limit on open descriptors for one test and puts it back.
class ScopedFileLimit {
public:
    explicit ScopedFileLimit(rlim_t soft) {
        ::getrlimit(RLIMIT_NOFILE, &m_old);
        rlimit lowered = m_old;
        lowered.rlim_cur = std::min(soft, m_old.rlim_max);
        m_ok = ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    }
    ~ScopedFileLimit() { ::setrlimit(RLIMIT_NOFILE, &m_old); }
    bool ok() const { return m_ok; }

private:
    rlimit m_old{};
    bool m_ok = false;
};

// The descriptor limit under which exactly `slots` more descriptors can be opened.
rlim_t limit_leaving(int slots) {
    std::set<int> open;
    DIR* d = ::opendir("/proc/self/fd");
    if (!d) return 0;
    while (dirent* e = ::readdir(d))
        if (e->d_name[0] != '.') open.insert(std::atoi(e->d_name));
    open.erase(::dirfd(d));
    ::closedir(d);
    int fd = 0;
    for (int free = 0;; ++fd)
        if (!open.contains(fd) && free++ == slots) break;
    return static_cast<rlim_t>(fd);
}

// `depth` nested folders "d" below `top`, made through descriptors so no path
// grows long, with a small file at every level.
void make_chain(const fs::path& top, int depth) {
    fs::create_directories(top);
    int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < depth; ++i) {
        int file = ::openat(fd, "f", O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(file, 0);
        ASSERT_EQ(::write(file, "x", 1), 1);
        ::close(file);
        ASSERT_EQ(::mkdirat(fd, "d", 0700), 0);
        int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    ::close(fd);
}

TEST(PeerRemoval, AnItemDeeperThanTheDescriptorLimitGoesWhole) {
    TempHome h;
    const fs::path deep = h.cache() / "deep";
    make_chain(deep, 1500);
    peer::clean::Outcome out;
    {
        ScopedFileLimit limit(1024);
        ASSERT_TRUE(limit.ok());
        out = peer::clean::remove(item_at(deep));
    }
    EXPECT_EQ(out.msg, "");
    EXPECT_TRUE(out.ok);
    EXPECT_TRUE(out.deleted);
    EXPECT_FALSE(fs::exists(deep));
    EXPECT_TRUE(fs::exists(h.cache()));
}

// With descriptors for the item and one folder in it, the listing of that
// folder fails: the report says so instead of "Directory not empty".
TEST(PeerRemoval, RunningOutOfDescriptorsIsTheReasonGiven) {
    TempHome h;
    const fs::path item = h.cache() / "item";
    make_chain(item, 3);
    peer::clean::Outcome out;
    {
        ScopedFileLimit limit(limit_leaving(3));
        ASSERT_TRUE(limit.ok());
        out = peer::clean::remove(item_at(item));
    }
    EXPECT_FALSE(out.deleted);
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.msg, "partly removed: Too many open files");
    EXPECT_TRUE(fs::exists(item / "d/f"));
}

// Folders closed on the way down are opened again on the way up, in every
// branch, and the Trash's own folders stay.
TEST(PeerRemoval, DeepBranchesInTheTrashAreEmptied) {
    TempHome h;
    make_chain(h.trash() / "files/a", 200);
    make_chain(h.trash() / "files/b", 120);
    make_chain(h.trash() / "info/c", 40);
    peer::items::Item trash = item_at(h.trash());
    trash.empty_only = true;
    auto out = peer::clean::remove(trash);
    EXPECT_EQ(out.msg, "");
    EXPECT_TRUE(out.deleted);
    EXPECT_TRUE(fs::is_empty(h.trash() / "files"));
    EXPECT_TRUE(fs::is_empty(h.trash() / "info"));
}

}  // namespace
}  // namespace peer_test
