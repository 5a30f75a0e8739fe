// The window's own user settings behind a small key-value store, so tests keep
// them in memory and the app in its settings file.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace virirado {

class KeyValueStore {
public:
    virtual ~KeyValueStore() = default;
    // None when absent or not of that type.
    virtual std::optional<std::string> text(const std::string& key) const = 0;
    virtual std::optional<bool> flag(const std::string& key) const = 0;
    virtual void setText(const std::string& key, const std::string& value) = 0;
    virtual void setFlag(const std::string& key, bool value) = 0;
};

class MemoryStore : public KeyValueStore {
public:
    std::optional<std::string> text(const std::string& key) const override {
        auto it = m_texts.find(key);
        return it == m_texts.end() ? std::nullopt : std::optional(it->second);
    }
    std::optional<bool> flag(const std::string& key) const override {
        auto it = m_flags.find(key);
        return it == m_flags.end() ? std::nullopt : std::optional(it->second);
    }
    void setText(const std::string& key, const std::string& value) override {
        m_texts[key] = value;
        ++m_writes;
    }
    void setFlag(const std::string& key, bool value) override {
        m_flags[key] = value;
        ++m_writes;
    }
    int writes() const { return m_writes; }

private:
    std::map<std::string, std::string> m_texts;
    std::map<std::string, bool> m_flags;
    int m_writes = 0;
};

}  // namespace virirado
