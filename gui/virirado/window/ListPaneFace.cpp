#include "ListPaneFace.hpp"

namespace virirado {

ListFace listFace(bool anyRowVisible, bool scanning) {
    if (anyRowVisible) return ListFace::list;
    return scanning ? ListFace::scanning : ListFace::empty;
}

EmptyTexts emptyTexts(const std::string& query, durozizo::VadeScope scope, bool hasScanned) {
    static const std::string kReady = "Click Start scan when you are ready. Scanning only reads.";
    EmptyTexts t;
    t.offersScan = !hasScanned;
    if (!query.empty()) {
        t.title = "No matches";
        t.detail = "Try fewer words.";
    } else if (scope != durozizo::VadeScope::everything) {
        t.title = "Nothing in " + std::string(scope.title());
        t.detail = "Try Everything.";
    } else if (hasScanned) {
        t.title = "Nothing in the tank";
        t.detail = kReady;
    } else {
        t.title = "Ready to scan";
        t.detail = kReady;
    }
    return t;
}

}  // namespace virirado
