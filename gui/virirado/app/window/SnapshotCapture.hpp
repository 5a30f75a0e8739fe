// Pictures of the app's own windows for snapshot mode.
#pragma once

#include <string>

class QWidget;

namespace virirado::Snapshot {

// Saves `widget` as a PNG at `path`; only a saved picture is announced, with the
// line "snapshot <path>" on standard error. False when nothing was saved.
bool captureWidget(QWidget* widget, const std::string& path);
// The first visible main window (not a dialog).
bool capture(const std::string& path);
// The first visible dialog, which stands for a sheet.
bool captureSheet(const std::string& path);

}  // namespace virirado::Snapshot
