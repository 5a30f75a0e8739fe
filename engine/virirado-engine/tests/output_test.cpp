#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "args.hpp"
#include "json_out.hpp"
#include "output.hpp"
#include "progress.hpp"

namespace virirado_engine {
namespace {

std::string f(double v) {
    std::string s;
    append_float(s, v);
    return s;
}

TEST(JsonText, FloatsPrintLikeTheEnginesWireFormat) {
    EXPECT_EQ(f(0.0), "0.0");
    EXPECT_EQ(f(-0.0), "-0.0");
    EXPECT_EQ(f(1.5), "1.5");
    EXPECT_EQ(f(100.0), "100.0");
    EXPECT_EQ(f(1733678543.1234567), "1733678543.1234567");
    EXPECT_EQ(f(1e15), "1000000000000000.0");
    EXPECT_EQ(f(1e16), "1e16");
    EXPECT_EQ(f(1.2345678901234568e17), "1.2345678901234568e17");
    EXPECT_EQ(f(0.00001), "0.00001");
    EXPECT_EQ(f(1e-7), "1e-7");
    EXPECT_EQ(f(-2.5e-9), "-2.5e-9");
    EXPECT_EQ(f(0.123), "0.123");
    EXPECT_EQ(f(std::numeric_limits<double>::quiet_NaN()), "null");
    EXPECT_EQ(f(-std::numeric_limits<double>::infinity()), "null");
}

TEST(JsonText, KeysSortedCompactAndPretty) {
    nlohmann::json v = {{"b", 1}, {"B", nlohmann::json::array()}, {"a", {{"x", 2.0}}}, {"e", {}}};
    v["e"] = nlohmann::json::object();
    EXPECT_EQ(to_text(v), R"({"B":[],"a":{"x":2.0},"b":1,"e":{}})");
    EXPECT_EQ(to_text(nlohmann::json{{"k", {1, 2}}}, true), "{\n  \"k\": [\n    1,\n    2\n  ]\n}");
    nlohmann::ordered_json o;
    o["z"] = 1;
    o["a"] = 2;
    EXPECT_EQ(to_text(o), R"({"z":1,"a":2})");
}

TEST(JsonText, StringsNeverFailAndEscapeControls) {
    nlohmann::json v = std::string("a\xFF\"\\\n\x01", 6);
    EXPECT_EQ(to_text(v), "\"a\xEF\xBF\xBD\\\"\\\\\\n\\u0001\"");
}

// Anything a terminal would act on comes out as a backslash escape; printable text, non-ASCII
// letters included, stays as it is.
TEST(ShownText, ControlsAreEscapedAndTextIsKept) {
    EXPECT_EQ(shown("plain caf\xc3\xa9 \xe2\x82\xac \xef\xbf\xbd"),
              "plain caf\xc3\xa9 \xe2\x82\xac \xef\xbf\xbd");
    EXPECT_EQ(shown("a\nb\tc\rd\a\b\v\f"), "a\\nb\\tc\\rd\\a\\b\\v\\f");
    EXPECT_EQ(shown("\x1b[31mred\x1b]0;t\x07"), "\\033[31mred\\033]0;t\\a");
    EXPECT_EQ(shown(std::string("nul\0del\x7f", 8)), "nul\\000del\\177");
    EXPECT_EQ(shown("c1\xc2\x9b"
                    "2J \xc2\x85"),
              "c1\\302\\2332J \\302\\205");
    // Line separators and the controls that turn a line around.
    EXPECT_EQ(shown("x\xe2\x80\xa8y\xe2\x80\xaez\xe2\x81\xa6"),
              "x\\342\\200\\250y\\342\\200\\256z\\342\\201\\246");
    // A backslash is doubled, so a name that spells an escape reads back apart from one.
    EXPECT_EQ(shown("a\\nb"), "a\\\\nb");
    // Bytes that are not UTF-8, a cut sequence at the end included.
    EXPECT_EQ(shown("x\xff\xe2\x82"), "x\\377\\342\\202");
    EXPECT_EQ(shown(""), "");
}

TEST(SizeText, UnitsAndBounds) {
    EXPECT_EQ(size_text(0), "0 B");
    EXPECT_EQ(size_text(1023), "1023 B");
    EXPECT_EQ(size_text(1024), "1.0 KiB");
    EXPECT_EQ(size_text(1536), "1.5 KiB");
    EXPECT_EQ(size_text(1048576), "1.0 MiB");
    EXPECT_EQ(size_text(uint64_t{1} << 50), "1024.0 TiB");
}

TEST(Args, NumbersAcceptDigitsAndOnePlusOnly) {
    EXPECT_EQ(parse_u64("+7"), 7u);
    EXPECT_EQ(parse_u64("007"), 7u);
    EXPECT_EQ(parse_u64("18446744073709551615"), UINT64_MAX);
    for (const char* bad : {"", "+", "-5", " 7", "18446744073709551616", "1e3", "++1", "7 "})
        EXPECT_FALSE(parse_u64(bad)) << bad;
}

TEST(Args, FirstOccurrenceConsumedAndLeftoversReported) {
    Args a({"--root", "--json", "--json", "--top"});
    EXPECT_EQ(a.value("--root"), "--json");
    EXPECT_TRUE(a.flag("--json"));
    EXPECT_FALSE(a.flag("--json"));
    try {
        a.num("--top");
        FAIL() << "expected a usage error";
    } catch (const UsageError& e) {
        EXPECT_EQ(e.message, "--top needs a value\n");
    }
    Args b({"--top", "-5"});
    try {
        b.num("--top");
        FAIL();
    } catch (const UsageError& e) {
        EXPECT_EQ(e.message, "--top: not a number: -5\n");
    }
    Args c({"--json", "x\"y\\\n"});
    try {
        c.expect_empty();
        FAIL();
    } catch (const UsageError& e) {
        EXPECT_EQ(e.message, "unknown arguments: [\"--json\", \"x\\\"y\\\\\\n\"]\n");
    }
}

TEST(Args, UsageTextLinesUp) {
    std::string u = usage_text();
    EXPECT_EQ(u.rfind("virirado-engine 0.1.0\nusage:\n", 0), 0u);
    auto scan = u.find("  virirado-engine scan ");
    auto cont = u.find("[--top N]");
    ASSERT_NE(scan, std::string::npos);
    ASSERT_NE(cont, std::string::npos);
    // The continuation starts under the first option of the line before.
    std::size_t line_start = u.rfind('\n', cont) + 1;
    EXPECT_EQ(cont - line_start, u.find("[--root") - scan);
    EXPECT_EQ(cont - line_start, 23u);
    EXPECT_EQ(u.back(), '\n');
    EXPECT_EQ(u.find("tree"), std::string::npos);
    EXPECT_EQ(u.find("--pretty"), std::string::npos);
}

// serve's cadence: 50 ms ticks, a line once 250 whole milliseconds have passed since the last
// one. A tick that wakes a fraction of a millisecond earlier than the last one did is still due.
TEST(ProgressGate, WholeMillisecondsSinceTheLastLine) {
    ProgressGate serve(250);
    EXPECT_FALSE(serve.due(0.0));
    EXPECT_FALSE(serve.due(200.9));
    EXPECT_TRUE(serve.due(250.7));
    EXPECT_FALSE(serve.due(300.1));
    EXPECT_TRUE(serve.due(500.2));
    EXPECT_FALSE(serve.due(749.99));
    EXPECT_TRUE(serve.due(750.0));
    // Without a gap (scan, serve --full) every tick prints.
    ProgressGate every(0);
    EXPECT_TRUE(every.due(0.0));
    EXPECT_TRUE(every.due(200.5));
    EXPECT_TRUE(every.due(200.9));
}

}  // namespace
}  // namespace virirado_engine
