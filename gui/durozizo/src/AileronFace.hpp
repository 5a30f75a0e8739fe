// The four weights of the app's text face as shipped font files: their PostScript
// names, resource file names, and the face for a CSS weight (100 to 900).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace durozizo {

class AileronFace {
public:
    enum Value : uint8_t { regular, semibold, bold, heavy };

    constexpr AileronFace(Value v) : m_value(v) {}
    constexpr operator Value() const { return m_value; }

    // The face whose PostScript name is exactly `raw`, or none.
    static std::optional<AileronFace> fromRawValue(std::string_view raw);
    // The four faces in declaration order.
    static const std::array<AileronFace, 4>& allCases();
    // regular below 501, semibold to 650, bold to 749, heavy from 750.
    static AileronFace face(int64_t forWeight);

    std::string_view rawValue() const;
    std::string_view postScriptName() const { return rawValue(); }
    std::string resourceFileName() const;

private:
    Value m_value;
};

}  // namespace durozizo

template <>
struct std::hash<durozizo::AileronFace> {
    size_t operator()(durozizo::AileronFace f) const noexcept {
        return std::hash<std::string_view>{}(f.rawValue());
    }
};
