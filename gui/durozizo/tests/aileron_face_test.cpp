#include "AileronFace.hpp"

#include <gtest/gtest.h>

#include <unordered_set>

using durozizo::AileronFace;

namespace {

TEST(AileronFaceTest, FaceForWeightAtEveryBound) {
    struct Case {
        int64_t weight;
        AileronFace face;
    };
    const Case cases[] = {
        {-100, AileronFace::regular}, {0, AileronFace::regular},    {400, AileronFace::regular},
        {500, AileronFace::regular},  {501, AileronFace::semibold}, {600, AileronFace::semibold},
        {650, AileronFace::semibold}, {651, AileronFace::bold},     {700, AileronFace::bold},
        {749, AileronFace::bold},     {750, AileronFace::heavy},    {900, AileronFace::heavy},
        {100'000, AileronFace::heavy}};
    for (const auto& c : cases)
        EXPECT_EQ(AileronFace::face(c.weight), c.face) << c.weight;
}

TEST(AileronFaceTest, NamesRoundTripExactly) {
    std::unordered_set<AileronFace> seen;
    for (AileronFace f : AileronFace::allCases()) {
        EXPECT_EQ(AileronFace::fromRawValue(f.rawValue()), f);
        EXPECT_EQ(f.resourceFileName(), std::string(f.postScriptName()) + ".otf");
        seen.insert(f);
    }
    EXPECT_EQ(seen.size(), 4u);
    EXPECT_EQ(AileronFace::allCases().front(), AileronFace::regular);
    EXPECT_EQ(AileronFace(AileronFace::semibold).rawValue(), "Aileron-SemiBold");
    EXPECT_EQ(AileronFace::fromRawValue("aileron-bold"), std::nullopt);
    EXPECT_EQ(AileronFace::fromRawValue("Aileron-Bold "), std::nullopt);
    EXPECT_EQ(AileronFace::fromRawValue(""), std::nullopt);
}

}  // namespace
