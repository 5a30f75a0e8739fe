// File operations that only write down what they were asked, so no test opens a
// file manager or a previewer.
#pragma once

#include <string>
#include <vector>

#include "FileActions.hpp"

namespace virirado::testing {

class RecordingFileActions : public FileActions {
public:
    // "copyFile <path> | <name>", "copyText <text>", "reveal <path>", "quickLook <path>".
    std::vector<std::string> calls;

    void copyFile(const std::string& path, const std::string& fallbackName) override {
        calls.push_back("copyFile " + path + " | " + fallbackName);
    }
    void copyText(const std::string& text) override { calls.push_back("copyText " + text); }
    void reveal(const std::string& path) override { calls.push_back("reveal " + path); }
    void quickLook(const std::string& path) override { calls.push_back("quickLook " + path); }
};

}  // namespace virirado::testing
