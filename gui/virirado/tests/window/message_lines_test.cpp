#include "MessageLines.hpp"

#include <gtest/gtest.h>

namespace virirado {
namespace {

using Lines = std::vector<std::string>;

// Characters, not bytes: "…" is one.
std::size_t chars(const std::string& s) {
    std::size_t n = 0;
    for (const char c : s)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

// Lines of at most `width` characters, broken at spaces (inside a word when it
// is longer than a line), as a text layout would at a fixed width.
WrapLine wrapAt(std::size_t width) {
    return [width](const std::string& line) {
        Lines out{""};
        std::size_t from = 0;
        while (from <= line.size()) {
            std::size_t to = line.find(' ', from);
            if (to == std::string::npos) to = line.size();
            std::string word = line.substr(from, to - from);
            while (chars(word) > width) {
                if (!out.back().empty()) out.emplace_back();
                out.back() = word.substr(0, width);
                word = word.substr(width);
                out.emplace_back();
            }
            const std::string joined = out.back().empty() ? word : out.back() + " " + word;
            if (chars(joined) <= width) {
                out.back() = joined;
            } else {
                out.push_back(word);
            }
            from = to + 1;
        }
        return out;
    };
}

CutLine cutAt(std::size_t width) {
    return [width](const std::string& line) {
        if (chars(line) <= width) return line;
        std::string out;
        for (std::size_t i = 0; i < line.size() && chars(out) < width - 1; ++i)
            out += line[i];
        return out + "\u2026";
    };
}

Lines fit(std::string_view text, std::size_t width = 20) {
    return fitMessage(text, 2, wrapAt(width), cutAt(width));
}

TEST(MessageLines, SplitAtEveryKindOfLineBreak) {
    EXPECT_EQ(messageLines("one\ntwo\r\nthree\rfour"), (Lines{"one", "two", "three", "four"}));
    // Blank lines and the break at the end are no lines; ends are trimmed.
    EXPECT_EQ(messageLines("\n  warning: x  \n\n\t\nerror: y\n"),
              (Lines{"warning: x", "error: y"}));
    EXPECT_EQ(messageLines(""), Lines{});
    EXPECT_EQ(messageLines(" \r\n "), Lines{});
    EXPECT_EQ(messageLines("single"), Lines{"single"});
}

TEST(MessageLines, ShortMessagesShowWhole) {
    EXPECT_EQ(fit("Scan cancelled."), Lines{"Scan cancelled."});
    EXPECT_EQ(fit("warning: a\nerror: b"), (Lines{"warning: a", "error: b"}));
    // One line that wraps once still fits in two.
    EXPECT_EQ(fit("Couldn't talk to the engine."), (Lines{"Couldn't talk to the", "engine."}));
    EXPECT_EQ(fit(""), Lines{});
    EXPECT_EQ(fitMessage("x", 0, wrapAt(20), cutAt(20)), Lines{});
}

TEST(MessageLines, TheLastLinesStayWhenTheFirstGiveWay) {
    // The standard-error tail of an engine that died: the fatal line is last.
    const std::string tail =
        "warning: cache stale\nwarning: retrying scan\nwarning: slow disk\nfatal: out of memory";
    EXPECT_EQ(fit(tail), (Lines{"\u2026warning: slow disk", "fatal: out of memory"}));
    // A last line that needs both lines pushes every earlier one out.
    EXPECT_EQ(fit("warning: x\nfatal: the index is damaged"),
              (Lines{"\u2026fatal: the index is", "damaged"}));
}

TEST(MessageLines, ALastLineTooLongIsShownFromItsStartAndCut) {
    const Lines one = fit("Couldn't start the virirado engine. No such file or directory");
    ASSERT_EQ(one.size(), 2u);
    EXPECT_EQ(one[0], "Couldn't start the");
    EXPECT_TRUE(one[1].ends_with("\u2026"));
    EXPECT_TRUE(one[1].starts_with("virirado engine."));

    const Lines last = fit("warning: w\nfatal: a very long reason that goes on and on");
    ASSERT_EQ(last.size(), 2u);
    EXPECT_EQ(last[0], "\u2026fatal: a very long");
    EXPECT_TRUE(last[1].ends_with("\u2026"));
    EXPECT_TRUE(last[1].starts_with("reason"));
}

}  // namespace
}  // namespace virirado
