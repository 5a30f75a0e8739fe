#include "AileronFace.hpp"

namespace durozizo {

namespace {
constexpr std::array<std::string_view, 4> kNames = {"Aileron-Regular", "Aileron-SemiBold",
                                                    "Aileron-Bold", "Aileron-Heavy"};
}  // namespace

std::optional<AileronFace> AileronFace::fromRawValue(std::string_view raw) {
    for (AileronFace f : allCases())
        if (f.rawValue() == raw) return f;
    return std::nullopt;
}

const std::array<AileronFace, 4>& AileronFace::allCases() {
    static constexpr std::array<AileronFace, 4> kAll = {regular, semibold, bold, heavy};
    return kAll;
}

AileronFace AileronFace::face(int64_t forWeight) {
    if (forWeight < 501) return regular;
    if (forWeight <= 650) return semibold;
    if (forWeight <= 749) return bold;
    return heavy;
}

std::string_view AileronFace::rawValue() const {
    return kNames[m_value];
}

std::string AileronFace::resourceFileName() const {
    return std::string(rawValue()) + ".otf";
}

}  // namespace durozizo
