// The file operations behind the row menu and the details pane: copying an item
// or its path, showing it in the file manager and previewing it. None of them
// opens or runs the item itself: an item in a junk folder may be a script.
#pragma once

#include <string>

namespace virirado {

class FileActions {
public:
    virtual ~FileActions() = default;
    // The file URL when something exists at `path`, else `fallbackName` as text
    // (or `path` when the name is empty).
    virtual void copyFile(const std::string& path, const std::string& fallbackName) = 0;
    virtual void copyText(const std::string& text) = 0;
    // Shows the item selected in the desktop's file manager, else opens the
    // folder that holds it.
    virtual void reveal(const std::string& path) = 0;
    // A preview of the item where the desktop offers one, else reveal.
    virtual void quickLook(const std::string& path) = 0;
};

// This desktop: the clipboard, the file manager and previewer over D-Bus.
class DesktopFileActions : public FileActions {
public:
    void copyFile(const std::string& path, const std::string& fallbackName) override;
    void copyText(const std::string& text) override;
    void reveal(const std::string& path) override;
    void quickLook(const std::string& path) override;
};

}  // namespace virirado
