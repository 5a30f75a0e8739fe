// What the row menu offers for one item and which entries work: decided from the
// item's path and name alone, so it is checked without a menu on screen.
#pragma once

#include <optional>
#include <string>

namespace virirado {

struct RowMenu {
    // The path the entries act on (trimmed, "~" expanded), none when blank.
    std::optional<std::string> cleanPath;
    // The name, else the clean path, else empty.
    std::string copyText;
    bool canDelete = false;
    // Whether the menu has the quick-delete part at all.
    bool offersQuickDelete = false;

    static RowMenu make(const std::optional<std::string>& path, const std::string& name,
                        bool canDelete, bool offersQuickDelete, const std::string& home);

    bool copyEnabled() const { return !copyText.empty() || cleanPath.has_value(); }
    bool pathEnabled() const { return cleanPath.has_value(); }
    bool quickDeleteEnabled() const { return offersQuickDelete && canDelete; }
};

}  // namespace virirado
