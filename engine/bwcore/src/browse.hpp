#pragma once
// Questions about one scanned tree, answered from memory: the biggest files and folders below
// a path, one folder with its rows, a depth-limited tree and a search in the browse query
// language. Only Browse::node with files on touches the disk, to list that one folder.
// Every answer is a JSON value whose objects print their keys in byte order.
#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "browse_query.hpp"
#include "result.hpp"
#include "rules.hpp"
#include "tree.hpp"

namespace bwcore {

// Read-only over its lifetime. The root node is borrowed: the caller keeps it alive and
// unchanged while the Browse exists (after a rescan, build a new Browse).
class Browse {
public:
    // `root_node` must be settled (tree::settle_links). `generic_lister` picks the lister the
    // scan used, for the live listing of Browse::node.
    Browse(std::string root, const Node& root_node, Rules rules, MarkerIndex index,
           std::optional<std::string> home, bool generic_lister);

    // Why the path is look-only ("system location", or a rule's reason); empty when it is not.
    std::string look_only(std::string_view path) const;

    // [{"name","path"}]: the root, then one element per component of the path below it.
    nlohmann::json breadcrumb(std::string_view path) const;

    // The folder row of a path and its node.
    nlohmann::json dir_row(std::string_view path, const Node& node) const;

    // {"path","files","folders"}: the `limit` biggest recorded files and folders below the path.
    Result<nlohmann::json> top(std::string_view path, std::size_t limit) const;

    // The path's folder row with its child rows (folders and, with `files`, the live-listed
    // files), biggest first, cut at `limit` with the rest summed.
    Result<nlohmann::json> node(std::string_view path, std::size_t limit, bool files) const;

    // Browse::node without "breadcrumb", folder rows expanded `depth` levels.
    Result<nlohmann::json> tree(std::string_view path, unsigned depth, std::size_t limit,
                                bool files) const;

    // {"query","matched","results","note"}: folders and recorded files matching the query.
    nlohmann::json search(std::string_view text, std::size_t limit) const;

    const std::string& root() const { return m_root; }

private:
    struct SearchHit;
    struct NodeRow;
    struct NodeRows;

    nlohmann::json file_row(std::string path, uint64_t alloc, uint64_t logical,
                            int64_t mtime) const;
    nlohmann::json search_row(const SearchHit& hit) const;
    void list_files(std::string_view path, nlohmann::json& out, NodeRows& rows) const;
    nlohmann::json node_row(std::string_view path, const NodeRow& r) const;

    std::string m_root;
    const Node* m_node;
    Rules m_rules;
    MarkerIndex m_index;
    std::optional<std::string> m_home;
    bool m_generic_lister;
};

namespace browse {

// The path as the user knows it: "/System/Volumes/Data" alone becomes "/", and loses that
// prefix when a "/" follows it; every other path is unchanged.
std::string user_path(std::string_view path);

inline constexpr std::string_view SEARCH_NOTE =
    "Searches every folder and every file of at least 1 MB.";

}  // namespace browse
}  // namespace bwcore
