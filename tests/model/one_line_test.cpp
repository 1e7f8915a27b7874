// Texts from outside as the front ends' messages and standard-error lines
// show them.
#include "model/one_line.h"

#include <gtest/gtest.h>

#include <string>

namespace kiv {
namespace {

// The edges of each kind of character a terminal acts on: the character
// just inside is escaped byte by byte, the one just outside is kept.
TEST(OneLine, EscapesExactlyWhatATerminalActsOn) {
    const struct {
        const char* name;
        std::string text;
        std::string shown;
    } cases[] = {
        {"last C0 control", "\x1f", "\\x1f"},
        {"space", " ", " "},
        {"tilde", "~", "~"},
        {"DEL", "\x7f", "\\x7f"},
        {"first C1 control", "\xc2\x80", "\\xc2\\x80"},
        {"CSI", "\xc2\x9b", "\\xc2\\x9b"},
        {"last C1 control", "\xc2\x9f", "\\xc2\\x9f"},
        {"no-break space", "\xc2\xa0", "\xc2\xa0"},
        {"before the separators", "\xe2\x80\xa7", "\xe2\x80\xa7"},
        {"line separator", "\xe2\x80\xa8", "\\xe2\\x80\\xa8"},
        {"paragraph separator", "\xe2\x80\xa9", "\\xe2\\x80\\xa9"},
        {"left-to-right embedding", "\xe2\x80\xaa", "\\xe2\\x80\\xaa"},
        {"right-to-left override", "\xe2\x80\xae", "\\xe2\\x80\\xae"},
        {"narrow no-break space", "\xe2\x80\xaf", "\xe2\x80\xaf"},
        {"before the isolates", "\xe2\x81\xa5", "\xe2\x81\xa5"},
        {"left-to-right isolate", "\xe2\x81\xa6", "\\xe2\\x81\\xa6"},
        {"pop directional isolate", "\xe2\x81\xa9", "\\xe2\\x81\\xa9"},
        {"after the isolates", "\xe2\x81\xaa", "\xe2\x81\xaa"},
        {"Chinese", "\xe4\xb8\xb2\xe5\x8f\xa3", "\xe4\xb8\xb2\xe5\x8f\xa3"},
        {"a C1 control as one stray byte", "\x9b", "\\x9b"},
        {"an overlong ESC", "\xc0\x9b", "\\xc0\\x9b"},
        {"cut short", "ok\xe2\x80", "ok\\xe2\\x80"},
        {"a NUL inside", std::string("a\0b", 3), "a\\x00b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(OneLine("<" + c.text + ">"), "<" + c.shown + ">");
        EXPECT_EQ(Quoted(c.text), "\"" + c.shown + "\"");
    }
}

TEST(OneLine, OnlyQuotedValuesEscapeQuotesAndOnlyValuesAreCut) {
    const std::string longest(60, 'x');
    EXPECT_EQ(Quoted("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(OneLine("a\"b\\c"), "a\"b\\c");
    EXPECT_EQ(Quoted(longest), "\"" + longest + "\"");
    EXPECT_EQ(Quoted(longest + "y"), "\"" + longest + "...\"");
    EXPECT_EQ(Shortened(longest + "\xe2\x80\xae"), longest + "...");
    // An escaped character counts as one of the 60, however many bytes it
    // takes to show.
    EXPECT_EQ(Shortened(std::string(59, 'x') + "\x1b" + "y"), std::string(59, 'x') + "\\x1b...");
    EXPECT_EQ(OneLine(longest + longest + "\n"), longest + longest + "\\x0a");
}

}  // namespace
}  // namespace kiv
