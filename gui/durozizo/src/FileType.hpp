// The file-type groups into which the list sorts rows of big single files.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace durozizo {

class FileType {
public:
    enum Case : uint8_t { presentations, documents, video, audio, images, archives, code, other };

    constexpr FileType(Case c) : m_case(c) {}  // NOLINT: a type is its case
    // Compares and switches as its case.
    constexpr operator Case() const { return m_case; }

    // The eight types in declaration order.
    static const std::array<FileType, 8>& allCases();
    // Exactly a case name, else none.
    static std::optional<FileType> fromRaw(std::string_view raw);

    std::string_view rawValue() const;
    std::string_view title() const;
    // The name of the type's symbol image.
    std::string_view symbol() const;

    // The type of a row from its extension, or from its name when the
    // extension is empty; `other` when unknown.
    static FileType of(std::string_view ext, std::string_view name);

    // Whether rows of this engine kind are grouped by file type.
    static bool groupsByType(std::string_view kind);

    // Type -> its lower-case extensions (`other` has none).
    static const std::unordered_map<Case, std::unordered_set<std::string>>& table();

private:
    Case m_case;
};

}  // namespace durozizo

template <>
struct std::hash<durozizo::FileType> {
    std::size_t operator()(durozizo::FileType t) const noexcept {
        return std::hash<int>{}(static_cast<int>(static_cast<durozizo::FileType::Case>(t)));
    }
};
