// The mount points of this process's mount table (/proc/self/mountinfo). A
// folder mounted inside a row's folder is a second way into the folder it was
// mounted from: an engine that crosses mount points reaches that folder's
// contents through the row.
//
// The table is read as untrusted text: mount points are written with octal
// escapes ("\040" for a space), and a line that is not well formed names none.
// It reads a file of the system, so it is read off the main thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace virirado::mountpoints {

// The mount points a mountinfo text names, decoded, in its order. Lines that
// are not well formed (too few fields, an escape that is not three octal
// digits, a NUL, a point that is not an absolute path) are skipped.
std::vector<std::string> parse(std::string_view mountinfo);

// The mount points of this process's mount table, sorted; empty when the table
// cannot be read.
std::vector<std::string> read();

// The mount points of `sorted` that lie strictly inside the folder `real` (a
// real location, as the guards resolve it).
std::vector<std::string> inside(const std::vector<std::string>& sorted, const std::string& real);

}  // namespace virirado::mountpoints
