// The window's settings in the app's settings file.
#pragma once

#include "Settings.hpp"

namespace virirado {

class QtSettingsStore : public KeyValueStore {
public:
    std::optional<std::string> text(const std::string& key) const override;
    // The settings file keeps a Bool as the text "true" or "false"; both count.
    std::optional<bool> flag(const std::string& key) const override;
    void setText(const std::string& key, const std::string& value) override;
    void setFlag(const std::string& key, bool value) override;
};

}  // namespace virirado
