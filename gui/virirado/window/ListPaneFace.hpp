// Which of its three faces the list pane shows, and what its empty state says.
#pragma once

#include <string>

#include "Scope.hpp"

namespace virirado {

enum class ListFace { list, scanning, empty };

// The list whenever a row is visible, even mid-scan; the scanning pane while a
// scan runs with nothing to show yet; else the empty state.
ListFace listFace(bool anyRowVisible, bool scanning);

struct EmptyTexts {
    std::string title;
    std::string detail;
    // Only before the first scan.
    bool offersScan = false;

    bool operator==(const EmptyTexts&) const = default;
};

// The query is asked about first, then the scope, then whether a scan ran.
EmptyTexts emptyTexts(const std::string& query, durozizo::VadeScope scope, bool hasScanned);

}  // namespace virirado
