#include <gtest/gtest.h>

#include "XMLParser.h"

using Strings = std::vector<std::string>;

namespace {

Strings parsed(const std::string& doc) {
    Strings entries;
    std::string error;
    EXPECT_EQ(XMLParser(doc, entries, error), XML_PARSE_OK) << error;
    return entries;
}

}  // namespace

TEST(XMLParser, FlattensDocumentsIntoEntries) {
    struct Case {
        std::string doc;
        Strings entries;
    };
    const std::vector<Case> cases = {
        {"<command><action>GetServerRoles</action></command>", {"action=GetServerRoles"}},
        {"<command><Action><![CDATA[BackupOvix]]></Action><parameter "
         "name=\"BackupWebserver\"><![CDATA[yes]]></parameter></command>",
         {"Action=BackupOvix", "BackupWebserver=yes"}},
        // One-character values are dropped; two characters are kept.
        {"<command><parameter name=\"BackupWeekDay\">3</parameter></command>", {}},
        {"<command><parameter name=\"BackupWeekDay\">03</parameter></command>",
         {"BackupWeekDay=03"}},
        // A dropped value leaves its name pending for the next element.
        {"<command><parameter name=\"A\"></parameter><parameter name=\"B\">xy</parameter>"
         "</command>",
         {"AB=xy"}},
        {"<command><p name=\"Web\" kind=\"Domain\">abc</p></command>", {"WebDomain=abc"}},
        // A value over several lines: one entry per piece, the last one whole.
        {"<command><p name=\"X\">one\ntwo</p></command>", {"X=one", "X=one\rtwo"}},
        {"<command>ab<p name=\"X\">cd</p></command>", {"=ab", "X=cd"}},
        {"<command></command>", {}},
        // Values keep every character, "=" included.
        {"<command><p name=\"FTPPassword\"><![CDATA[a=b c]]></p></command>", {"FTPPassword=a=b c"}},
        // Text after the first NUL is not part of the document.
        {std::string("<command><p name=\"X\">ab</p></command>\0garbage", 46), {"X=ab"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parsed(c.doc), c.entries) << c.doc;
    }
}

TEST(XMLParser, ReportsMalformedDocumentsWithLineNumber) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<command><action>x</action>", "Parse error at line 1:\n"},
        {"", "Parse error at line 1:\n"},
        {"<command>\n<a>]]></b></command>", "Parse error at line 2:\n"},
        {"<command><p name=\"X\"><![CDATA[a]]>b]]></p></command>", "Parse error at line 1:\n"},
    };
    for (const auto& [doc, prefix] : cases) {
        Strings entries = {"stale"};
        std::string error;
        EXPECT_EQ(XMLParser(doc, entries, error), XML_PARSE_MALFORMED) << doc;
        EXPECT_EQ(error.compare(0, prefix.size(), prefix), 0) << error;
        EXPECT_GT(error.size(), prefix.size() + 1) << "expat's own message follows";
        EXPECT_EQ(error.back(), '\n');
        EXPECT_TRUE(entries.empty());
    }
}

TEST(XMLParser, ManyLinesInOneValueCannotExhaustMemory) {
    // Every line repeats the value so far: 300,000 short lines would need
    // hundreds of gigabytes. The parse stops at a fixed total instead.
    std::string doc = "<command><p name=\"X\">";
    for (int i = 0; i < 300000; ++i) {
        doc += "line\n";
    }
    doc += "</p></command>";
    Strings entries;
    std::string error;
    EXPECT_EQ(XMLParser(doc, entries, error), XML_PARSE_MALFORMED);
    EXPECT_NE(error.find("document too large"), std::string::npos) << error;
    EXPECT_TRUE(entries.empty());

    // A long value on a few lines is still read whole.
    const std::string line(1000000, 'v');
    EXPECT_EQ(parsed("<command><p name=\"X\">" + line + "\n" + line + "</p></command>").back(),
              "X=" + line + "\r" + line);
}

TEST(XMLParser, EachParseStartsAfresh) {
    EXPECT_EQ(parsed("<command><p name=\"A\">x</p></command>"), Strings{});
    // The name "A" left pending above must not leak into this parse.
    EXPECT_EQ(parsed("<command><p name=\"B\">yz</p></command>"), Strings{"B=yz"});
}

TEST(COvixGetCommand, SplitsAtTheFirstEqualsSign) {
    EXPECT_EQ(COvixGetCommand("a=b=c"), (Strings{"a", "b=c"}));
    EXPECT_EQ(COvixGetCommand("=v"), (Strings{"", "v"}));
    EXPECT_EQ(COvixGetCommand("k="), (Strings{"k", ""}));
    EXPECT_TRUE(COvixGetCommand("abc").empty());
}
