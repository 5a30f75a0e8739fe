#include "FileType.hpp"

#include "Text.hpp"

namespace durozizo {
namespace {

struct TypeInfo {
    std::string_view raw;
    std::string_view title;
    std::string_view symbol;
};

// Indexed by FileType::Case.
constexpr std::array<TypeInfo, 8> kTypes{{
    {"presentations", "Presentations", "rectangle.on.rectangle"},
    {"documents", "PDFs & documents", "doc.text"},
    {"video", "Video", "film"},
    {"audio", "Music & audio", "music.note"},
    {"images", "Photos & images", "photo"},
    {"archives", "Archives & disk images", "archivebox"},
    {"code", "Code & dev", "chevron.left.forwardslash.chevron.right"},
    {"other", "Other files", "doc"},
}};

const std::unordered_map<std::string, FileType::Case>& lookup() {
    static const std::unordered_map<std::string, FileType::Case> inverse = [] {
        std::unordered_map<std::string, FileType::Case> out;
        for (const auto& [type, exts] : FileType::table()) {
            for (const std::string& ext : exts)
                out.emplace(ext, type);
        }
        return out;
    }();
    return inverse;
}

std::string_view trimPointsAndSpaces(std::string_view s) {
    const auto isTrim = [](char c) { return c == '.' || c == ' '; };
    while (!s.empty() && isTrim(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isTrim(s.back()))
        s.remove_suffix(1);
    return s;
}

// The extension after the last point of a name, a trailing " (remark)" cut
// off first; empty when there is none or the point is the last character.
std::string extensionOfName(std::string_view name) {
    if (std::size_t cut = name.rfind(" ("); cut != std::string_view::npos) {
        name = name.substr(0, cut);
    }
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == name.size()) return {};
    return text::lower(name.substr(dot + 1));
}

}  // namespace

const std::array<FileType, 8>& FileType::allCases() {
    static const std::array<FileType, 8> all{presentations, documents, video, audio,
                                             images,        archives,  code,  other};
    return all;
}

std::optional<FileType> FileType::fromRaw(std::string_view raw) {
    for (FileType t : allCases()) {
        if (t.rawValue() == raw) return t;
    }
    return std::nullopt;
}

std::string_view FileType::rawValue() const {
    return kTypes[m_case].raw;
}
std::string_view FileType::title() const {
    return kTypes[m_case].title;
}
std::string_view FileType::symbol() const {
    return kTypes[m_case].symbol;
}

const std::unordered_map<FileType::Case, std::unordered_set<std::string>>& FileType::table() {
    static const std::unordered_map<Case, std::unordered_set<std::string>> types{
        {presentations, {"ppt", "pptx", "pps", "ppsx", "key", "odp"}},
        {documents,
         {"pdf", "doc", "docx", "rtf", "txt", "pages", "numbers", "xls", "xlsx", "csv", "odt",
          "ods", "epub", "md"}},
        {video,
         {"mp4", "mov", "m4v", "mkv", "avi", "wmv", "flv", "webm", "mpg", "mpeg", "mts", "m2ts",
          "3gp", "braw", "r3d", "insv", "lrv"}},
        {audio,
         {"mp3", "m4a", "aac", "wav", "aif", "aiff", "flac", "ogg", "opus", "alac", "caf", "m4b",
          "m4p", "mid"}},
        {images,
         {"jpg", "jpeg", "png", "heic", "heif", "gif", "tif", "tiff", "bmp", "webp", "psd", "psb",
          "raw", "dng",  "cr2", "cr3",  "nef",  "arw", "orf", "raf",  "rw2", "svg",  "ai",  "exr"}},
        {archives,
         {"zip",         "rar", "7z",  "tar", "gz",   "tgz",  "bz2", "xz",    "zst", "dmg",
          "iso",         "img", "xip", "pkg", "ipsw", "vmdk", "vdi", "qcow2", "vhd", "vhdx",
          "sparseimage", "ab",  "aa",  "cab", "jar",  "apk",  "aab", "ipa"}},
        {code, {"bin",  "gguf",   "safetensors", "pt",      "pth",   "onnx", "ckpt", "h5",
                "db",   "sqlite", "sqlite3",     "so",      "dylib", "a",    "o",    "wasm",
                "json", "log",    "jsonl",       "parquet", "npy",   "pack"}},
    };
    return types;
}

FileType FileType::of(std::string_view ext, std::string_view name) {
    const std::string lowered = text::lower(ext);
    std::string key(trimPointsAndSpaces(lowered));
    if (key.empty()) key = extensionOfName(name);
    const auto& inverse = lookup();
    auto it = inverse.find(key);
    return it == inverse.end() ? FileType(other) : FileType(it->second);
}

bool FileType::groupsByType(std::string_view kind) {
    return kind == "biggest-file" || kind == "large-old" || kind == "duplicates" ||
           kind == "duplicate" || kind == "installer" || kind == "download";
}

}  // namespace durozizo
