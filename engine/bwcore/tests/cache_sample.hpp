#pragma once
// A small cache body shared by the cache tests, and helpers to write bytes by hand.
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "cache.hpp"
#include "cache_check.hpp"

namespace bwtest {

inline std::string unhex(std::string_view hex) {
    std::string out;
    std::string digits;
    for (char c : hex)
        if (std::isxdigit(static_cast<unsigned char>(c))) digits.push_back(c);
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

// Recomputes the checksum of bytes patched in place, so that only the layout and the tree's
// own numbers stand between them and a decoded tree.
inline std::string resealed(std::string bytes) {
    const std::size_t end = bytes.size() - bwcore::cache_check::TRAILER_SIZE;
    const uint64_t sum = bwcore::cache_check::checksum(std::string_view(bytes).substr(0, end));
    for (int i = 0; i < 8; ++i)
        bytes[end + bwcore::cache_check::TAG.size() + i] = static_cast<char>(sum >> (8 * i));
    return bytes;
}

// A small tree with every stored field set, and unicode names. Its numbers add up: the own
// totals are the sums of `all_files`, which holds the big file, and each skip has its sample.
inline bwcore::Node sample_tree() {
    bwcore::Node root;
    root.name = "r\xc3\xa9";
    root.ino = 11;
    root.dev = 0x1234567890;
    root.mtime = -5;
    root.self_alloc = 4096;
    root.self_logical = 3000;
    root.own = bwcore::Agg{5000001, 5000001, 3, 0, 1700000000000000000, 7, 8, 2};
    root.links = {bwcore::LinkRec{"hl", 3, 4, 5, 6, 7},
                  bwcore::LinkRec{"h\xe2\x82\xac", 8, 9, 10, 11, -12}};
    root.files = {bwcore::FileRec{"big", 5000000, 4999999, 1700000000000000000, 42},
                  bwcore::FileRec{"hl", 5, 6, 7, 4}};
    root.markers = 0x8000000000000001ULL;
    root.dev_kind = 1001;
    root.marker = ".wrangler";
    root.skipped = {bwcore::SkipSample{"/r/x", "permission"},
                    bwcore::SkipSample{"/r/y", "other device"}};
    root.all_files = {bwcore::FileRec{"a", 1, 2, -3, 4}, bwcore::FileRec{"0", 0, 0, 0, 0},
                      bwcore::FileRec{"big", 5000000, 4999999, 1700000000000000000, 42}};
    bwcore::Node kid;
    kid.name = "kid";
    kid.dev_kind = 1;
    kid.marker = "package.json";
    bwcore::Node grandkid;
    grandkid.name = "\xf0\x9f\x93\x81";
    grandkid.own = bwcore::Agg{10, 9, 2, 0, 9, 0, 0, 0};
    grandkid.files = {bwcore::FileRec{"g", 9, 9, 9, 9}};
    kid.children.push_back(std::move(grandkid));
    root.children.push_back(std::move(kid));
    bwcore::Node empty;
    empty.name = ".e";
    root.children.push_back(std::move(empty));
    return root;
}

inline bwcore::CacheBody sample_body() {
    bwcore::CacheBody b;
    b.root = "/home/u";
    b.key = 0xfeedfacecafebeefULL;
    b.saved_at = 1700000000;
    b.event_id = 77;
    for (int i = 0; i < 16; ++i)
        b.volume_uuid[i] = static_cast<uint8_t>(0xa0 + i);
    b.node = sample_tree();
    return b;
}

}  // namespace bwtest
