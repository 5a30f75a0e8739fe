#pragma once
// The generic lister: one folder into Entry records through readdir and a status call per
// entry, reported as "readdir+lstat"; and the same record for one path.
#include <functional>
#include <string_view>
#include <vector>

#include "entry.hpp"
#include "list_macos.hpp"
#include "result.hpp"

namespace bwcore::list_generic {

using Listing = list_macos::Listing;

// The folder's entries in delivery order, or the OS error of opening it. Unlike the bulk
// lister this follows a symbolic link at the path itself. An entry whose name is not UTF-8
// comes back with the lossy name, kind 3 and error EILSEQ; one whose status call fails, with
// that errno. A read error mid-stream ends the listing with what was received.
Result<std::vector<Entry>> list_dir(std::string_view path);

// As list_dir, but also says whether a read error ended the listing part-way.
Result<Listing> list_dir_ex(std::string_view path);

// The entries of list_dir handed to `fn` one by one as they are read, without an entry list;
// `fn` may move from the entry it is given.
Result<list_macos::Stop> stream_entries(std::string_view path,
                                        const std::function<void(Entry& e)>& fn);

// One entry for the path itself, without following a final symbolic link. Its name is the
// path's last normal component ("/a/b/" and "/a/b/." give "b"; "/" and "/a/.." give "").
Result<Entry> stat_path(std::string_view path);

// The last normal component of a path, as above.
std::string_view file_name(std::string_view path);

}  // namespace bwcore::list_generic
