#include <gtest/gtest.h>

#include <cerrno>

#include "entry.hpp"

namespace bwcore {
namespace {

Entry with(uint8_t kind, uint32_t flags) {
    Entry e;
    e.kind = kind;
    e.flags = flags;
    return e;
}

TEST(EntryClass, RuleOrder) {
    EXPECT_EQ(classify(with(KIND_SYMLINK, 0x2 | SF_DATALESS)), Class::Symlink);
    EXPECT_EQ(classify(with(KIND_FILE, 0x80000 | SF_DATALESS)), Class::Protected);
    EXPECT_EQ(classify(with(KIND_DIR, SF_DATALESS)), Class::Dataless);
    EXPECT_EQ(classify(with(KIND_DIR, 0x4)), Class::Dir);  // append-only is outside the mask
    EXPECT_EQ(classify(with(KIND_FILE, 0)), Class::File);
    EXPECT_EQ(classify(with(KIND_OTHER, 0)), Class::Special);
    for (uint32_t bit : {0x2u, 0x80u, 0x20000u, 0x80000u, 0x100000u})
        EXPECT_EQ(classify(with(KIND_DIR, bit)), Class::Protected) << bit;
    EXPECT_EQ(class_name(Class::Dataless), "Dataless");
}

TEST(EntryErrnoReason, BySymbolNotByNumber) {
    EXPECT_EQ(entry::errno_reason(EPERM), "permission");
    EXPECT_EQ(entry::errno_reason(EACCES), "permission");
    EXPECT_EQ(entry::errno_reason(ENOENT), "No such file or directory");
    EXPECT_EQ(entry::errno_reason(EIO), "Input/output error");
    EXPECT_EQ(entry::errno_reason(ENXIO), "Device not configured");
    EXPECT_EQ(entry::errno_reason(EDEADLK), "dataless");
    EXPECT_EQ(entry::errno_reason(EBUSY), "Resource busy");
    EXPECT_EQ(entry::errno_reason(ENOTDIR), "Not a directory");
    EXPECT_EQ(entry::errno_reason(ETIMEDOUT), "Operation timed out");
    EXPECT_EQ(entry::errno_reason(ELOOP), "Too many levels of symbolic links");
    EXPECT_EQ(entry::errno_reason(ENAMETOOLONG), "File name too long");
    // Linux's 11 is EAGAIN, not the dataless error; the bad-name marker has no text of its own.
    EXPECT_EQ(entry::errno_reason(EAGAIN), "error");
    EXPECT_EQ(entry::errno_reason(EILSEQ), "error");
    EXPECT_EQ(entry::errno_reason(0), "error");
    EXPECT_EQ(entry::errno_reason(64), "error");
}

}  // namespace
}  // namespace bwcore
