// Builds the reverse-DNS names of an IPv6 address: the reverse zone of its
// network part and the PTR owner name of its host part, nibble by nibble as
// in ip6.arpa (without the ".ip6.arpa" suffix, which callers add).
#ifndef OVIX_COMMON_IPV6_H
#define OVIX_COMMON_IPV6_H

#include <string>

// Results of separateNetworkHostPart.
constexpr int IPV6_SPLIT_OK = 0;
constexpr int IPV6_SPLIT_INVALID_PREFIX = 1;

class IPV6 {
public:
    IPV6() = default;
    ~IPV6() = default;

    // Splits ipV6Addrs at networkBits (cut down to whole bytes) and returns,
    // through confEntry, the dotted reversed nibbles of the network part and,
    // through ptrEntry, those of the host part. A prefix below 8 bits prints
    // "Invalid subnet bytes" and leaves both entries empty. Always returns 0.
    // Any text is accepted; text that is not an IPv6 address gives some
    // result without harm.
    int getPtrEntries(std::string ipV6Addrs, int networkBits, std::string& confEntry,
                      std::string& ptrEntry);

    // Writes every group with four digits and "::" as its zero groups.
    // Letters keep their case; an expanded address comes back unchanged.
    std::string expandIPV6(std::string ipV6);

    // The zero groups, each "0000:", that the "::" of ipV6 stands for.
    std::string getZeros(std::string ipV6);

    // Copies subnetBits / 8 bytes (two hex digits each, colons copied along)
    // of the expanded address into network and the rest into host. Returns
    // IPV6_SPLIT_INVALID_PREFIX, printing "Invalid subnet bytes" and leaving
    // both untouched, when that is no byte at all.
    int separateNetworkHostPart(std::string expandedIPV6Addrs, int subnetBits, std::string& network,
                                std::string& host);

    std::string reverseString(std::string stringToReverse);
    std::string eraseCharFromString(std::string str, char charToErase);
    // Every character followed by token, except the last.
    std::string insertTokenAfterEachChar(std::string str, char token);
};

#endif
