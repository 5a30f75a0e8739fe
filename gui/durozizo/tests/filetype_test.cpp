#include "FileType.hpp"

#include <gtest/gtest.h>

#include <string>
#include <unordered_map>

namespace durozizo {
namespace {

TEST(FileType, CasesInOrder) {
    std::string raws;
    for (FileType t : FileType::allCases()) {
        raws += std::string(t.rawValue()) + ",";
        EXPECT_EQ(FileType::fromRaw(t.rawValue()), t);
        EXPECT_FALSE(t.title().empty());
    }
    EXPECT_EQ(raws, "presentations,documents,video,audio,images,archives,code,other,");
    EXPECT_FALSE(FileType::fromRaw("Video"));
    EXPECT_EQ(FileType(FileType::archives).title(), "Archives & disk images");
    EXPECT_EQ(FileType(FileType::code).symbol(), "chevron.left.forwardslash.chevron.right");
}

TEST(FileType, EveryExtensionInExactlyOneType) {
    std::unordered_map<std::string, int> seen;
    std::size_t total = 0;
    for (const auto& [type, exts] : FileType::table()) {
        EXPECT_NE(type, FileType::other);
        for (const std::string& ext : exts) {
            ++seen[ext];
            ++total;
            EXPECT_EQ(FileType::of(ext, ""), FileType(type)) << ext;
        }
    }
    EXPECT_EQ(total, 125u);
    EXPECT_EQ(seen.size(), 125u);
}

TEST(FileType, OfExtensionOrName) {
    EXPECT_EQ(FileType::of(".MOV ", ""), FileType::video);
    EXPECT_EQ(FileType::of("", "Holiday.mov (copy)"), FileType::video);
    EXPECT_EQ(FileType::of("", "Report.final.PDF"), FileType::documents);
    EXPECT_EQ(FileType::of("", "name."), FileType::other);
    EXPECT_EQ(FileType::of("", "noextension"), FileType::other);
    EXPECT_EQ(FileType::of("", ""), FileType::other);
    EXPECT_EQ(FileType::of("gz", "x.zip"), FileType::archives);
    EXPECT_EQ(FileType::of("tar.gz", ""), FileType::other);
    EXPECT_EQ(FileType::of(" . ", "clip.mp4"), FileType::video);
    EXPECT_EQ(FileType::of("", "a (b).c (d)"), FileType::other);       // "a (b).c" -> "c"
    EXPECT_EQ(FileType::of("", "song.mp3 (1) (2)"), FileType::other);  // cut at the last " ("
}

TEST(FileType, GroupsByType) {
    for (const char* k :
         {"biggest-file", "large-old", "duplicates", "duplicate", "installer", "download"}) {
        EXPECT_TRUE(FileType::groupsByType(k)) << k;
    }
    EXPECT_FALSE(FileType::groupsByType("Biggest-file"));
    EXPECT_FALSE(FileType::groupsByType("downloads"));
}

}  // namespace
}  // namespace durozizo
