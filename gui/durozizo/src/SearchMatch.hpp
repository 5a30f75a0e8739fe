// Testing a parsed query against search items, and the result order.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Scope.hpp"
#include "Search.hpp"

namespace durozizo {

using KindAliases = std::unordered_map<std::string, std::unordered_set<std::string>>;

// Alias word -> the engine kind and category words it stands for. Built once,
// safely against concurrent first use, and only read afterwards.
const KindAliases& kindAliases();

// Whether one kind word of a query (already lower-cased) fits the item's kind
// or category.
bool kindMatches(std::string_view word, const SearchItem& item);

// Whether one flag word of a query holds for the item; unknown words never do.
bool flagMatches(std::string_view word, const SearchItem& item);

// A stably sorted copy: realistic bytes, then size, larger first; then name by
// the user's locale ignoring case; then id.
std::vector<SearchItem> biggestFirst(std::vector<SearchItem> items);

// The items of `scope` that match `text` at `now`, biggest first: a copy of
// each, built from searchIndices().
std::vector<SearchItem> search(const std::vector<SearchItem>& items, std::string_view text,
                               VadeScope scope, Seconds now);

// The same search without copying: the positions in `items` of the items
// search() returns, in its order. Fast enough to run on every keystroke.
std::vector<std::size_t> searchIndices(const std::vector<SearchItem>& items, std::string_view text,
                                       VadeScope scope, Seconds now);

}  // namespace durozizo
