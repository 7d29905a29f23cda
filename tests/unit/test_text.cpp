#include <gtest/gtest.h>

#include "extractToken.h"

using Strings = std::vector<std::string>;

TEST(TrimSpaces, RemovesOnlyBlanksAndTabsAtBothEnds) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\t a b \t", "a b"}, {"   ", ""},           {"", ""},
        {"x", "x"},           {"\r\nx \t", "\r\nx"}, {" x\r\n ", "x\r\n"},
    };
    for (const auto& [input, expected] : cases) {
        std::string s = input;
        TrimSpaces(s);
        EXPECT_EQ(s, expected) << "input [" << input << "]";
    }
}

TEST(ExtractToken, PicksFieldsBetweenDelimiters) {
    struct Case {
        std::string delim;
        int field;
        std::string input;
        bool found;
        std::string result;
    };
    const std::vector<Case> cases = {
        {":", 1, "a:b::d", true, "a"},   {":", 2, "a:b::d", true, "b"},
        {":", 3, "a:b::d", true, ""},    {":", 4, "a:b::d", true, "d"},
        {":", 5, "a:b::d", false, ""},   {":", 2, "a:", true, ""},
        {":", 1, "abc", false, ""},  // no delimiter at all
        {":", 2, "abc", false, ""},      {":", 0, "a:b", false, ""},
        {":", -3, "a:b", false, ""},     {"", 1, "a:b", false, ""},
        {"::", 2, "a::b::c", true, "b"}, {"::", 3, "a::b::c", true, "c"},
    };
    for (const auto& c : cases) {
        std::string result = "stale";
        EXPECT_EQ(extractToken(c.delim, c.field, c.input, result), c.found)
            << c.input << " field " << c.field;
        EXPECT_EQ(result, c.result) << c.input << " field " << c.field;
    }
}

TEST(Parse, CutsAtTheDelimiterAndKeepsALoneValue) {
    struct Case {
        std::string input;
        bool ok;
        Strings fields;
    };
    const std::vector<Case> cases = {
        {"a,b", true, {"a", "b"}}, {"a,b,", true, {"a", "b"}},
        {",a", true, {"", "a"}},   {"a,,b", true, {"a", "", "b"}},
        {"abc", true, {"abc"}},  // one database on a server is still a list
        {"", false, {}},           {",", true, {""}},
    };
    for (const auto& c : cases) {
        Strings out = {"kept"};
        EXPECT_EQ(parse(c.input, ",", out), c.ok) << c.input;
        Strings expected = {"kept"};
        expected.insert(expected.end(), c.fields.begin(), c.fields.end());
        EXPECT_EQ(out, expected) << c.input;
    }
}

TEST(Split, TakesOnlyCompleteCrLfLines) {
    Strings out;
    split("a\r\nb\r\nc", out);
    EXPECT_EQ(out, (Strings{"a", "b"}));

    out.clear();
    split("", out);
    split("no line end", out);
    EXPECT_TRUE(out.empty());

    out.clear();
    split("x\r\n\r\ny\r", out);
    EXPECT_EQ(out, (Strings{"x", "", "y"}));
}

TEST(CharacterClasses, IntegerAndAscii) {
    EXPECT_TRUE(isInteger(""));
    EXPECT_TRUE(isInteger("0123"));
    for (const char* bad : {"-1", "+1", "1.5", " 1", "1a"}) {
        EXPECT_FALSE(isInteger(bad)) << bad;
    }
    EXPECT_TRUE(isAsciiString(""));
    EXPECT_TRUE(isAsciiString("example.com\x7f"));
    EXPECT_FALSE(
        isAsciiString("b\xc3\xbc"
                      "cher.de"));
}

TEST(CaseInsensitive, ComparesAsciiLettersOnly) {
    EXPECT_TRUE(equalsIgnoreCase("InsFolder", "insfolder"));
    EXPECT_FALSE(equalsIgnoreCase("InsFolder", "insfolde"));
    EXPECT_TRUE(startsWithIgnoreCase("webspacefolder", "WebSpace"));
    EXPECT_FALSE(startsWithIgnoreCase("Web", "WebSpace"));
}
