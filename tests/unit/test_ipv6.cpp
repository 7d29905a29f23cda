#include <gtest/gtest.h>

#include "IPV6.h"

TEST(IPV6, ExpandsCompressedAddresses) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"2001:db8::1", "2001:0db8:0000:0000:0000:0000:0000:0001"},
        {"::1", "0000:0000:0000:0000:0000:0000:0000:0001"},
        {"::", "0000:0000:0000:0000:0000:0000:0000:0000"},
        {"1::", "0001:0000:0000:0000:0000:0000:0000:0000"},
        {"2001:db8::", "2001:0db8:0000:0000:0000:0000:0000:0000"},
        {"1:2:3:4:5:6:7::", "0001:0002:0003:0004:0005:0006:0007:0000"},
        {"fe80::1:2", "fe80:0000:0000:0000:0000:0000:0001:0002"},
        {"2001:DB8::1", "2001:0DB8:0000:0000:0000:0000:0000:0001"},
        {"2001:0db8:0000:0000:0000:0000:0000:0001", "2001:0db8:0000:0000:0000:0000:0000:0001"},
    };
    IPV6 ip;
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(ip.expandIPV6(input), expected) << input;
    }
}

TEST(IPV6, BuildsReverseZoneAndPtrNames) {
    struct Case {
        std::string address;
        int bits;
        std::string conf;
        std::string ptr;
    };
    const std::vector<Case> cases = {
        {"2001:db8::1", 64, "0.0.0.0.0.0.0.0.8.b.d.0.1.0.0.2", "1.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0"},
        {"::1", 64, "0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0", "1.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0"},
        {"fe80::1:2", 64, "0.0.0.0.0.0.0.0.0.0.0.0.0.8.e.f", "2.0.0.0.1.0.0.0.0.0.0.0.0.0.0.0"},
        {"2001:DB8::1", 64, "0.0.0.0.0.0.0.0.8.B.D.0.1.0.0.2", "1.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0"},
    };
    IPV6 ip;
    for (const auto& c : cases) {
        std::string conf;
        std::string ptr;
        EXPECT_EQ(ip.getPtrEntries(c.address, c.bits, conf, ptr), 0);
        EXPECT_EQ(conf, c.conf) << c.address;
        EXPECT_EQ(ptr, c.ptr) << c.address;
    }
}

TEST(IPV6, PrefixesAreCutToWholeBytes) {
    // Nibble counts of the zone and PTR names for each prefix length.
    const std::vector<std::tuple<int, std::size_t, std::size_t>> cases = {
        {64, 16, 16}, {60, 14, 18}, {48, 12, 20}, {8, 2, 30}, {128, 32, 0}, {200, 32, 0},
    };
    IPV6 ip;
    for (const auto& [bits, confNibbles, ptrNibbles] : cases) {
        std::string conf;
        std::string ptr;
        ip.getPtrEntries("2001:db8:1:2:3:4:5:6", bits, conf, ptr);
        EXPECT_EQ(conf.size(), confNibbles == 0 ? 0 : 2 * confNibbles - 1) << bits;
        EXPECT_EQ(ptr.size(), ptrNibbles == 0 ? 0 : 2 * ptrNibbles - 1) << bits;
    }
}

TEST(IPV6, PrefixBelowOneByteGivesEmptyEntries) {
    IPV6 ip;
    for (int bits : {7, 0, -8}) {
        std::string conf = "stale";
        std::string ptr = "stale";
        testing::internal::CaptureStdout();
        EXPECT_EQ(ip.getPtrEntries("2001:db8::1", bits, conf, ptr), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Invalid subnet bytes\n");
        EXPECT_EQ(conf, "");
        EXPECT_EQ(ptr, "");
    }
}

TEST(IPV6, TextThatIsNoIPv6AddressStaysInBounds) {
    // Callers never pass such text; the sanitizer build checks that nothing
    // is read or written out of bounds and that some result comes back.
    const std::vector<std::string> inputs = {
        "",
        ":",
        "::::",
        "1:2::3::4",
        "192.0.2.1",
        "::ffff:192.0.2.1",
        "12345:1::",
        "1:",
        "1:2:3:4:5:6:7:8:9:10",
        ":::1",
        "g::h",
        std::string(300, ':'),
        std::string(300, 'f'),
        "1::2:",
        "::1:",
    };
    IPV6 ip;
    for (const auto& input : inputs) {
        for (int bits : {64, 8, 104, 128}) {
            std::string conf;
            std::string ptr;
            EXPECT_EQ(ip.getPtrEntries(input, bits, conf, ptr), 0) << input;
        }
    }
}

TEST(IPV6, TextHelpers) {
    IPV6 ip;
    EXPECT_EQ(ip.reverseString("abc"), "cba");
    EXPECT_EQ(ip.eraseCharFromString("a:b::c", ':'), "abc");
    EXPECT_EQ(ip.insertTokenAfterEachChar("abc", '.'), "a.b.c");
    EXPECT_EQ(ip.insertTokenAfterEachChar("", '.'), "");
    EXPECT_EQ(ip.getZeros("2001:db8::1"), std::string("0000:") + "0000:0000:0000:0000:");
    EXPECT_EQ(ip.getZeros("::").size(), 8u * 5u);
}
