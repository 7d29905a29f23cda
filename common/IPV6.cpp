#include "IPV6.h"

#include <algorithm>
#include <cstddef>
#include <iostream>

namespace {

constexpr std::size_t kGroupDigits = 4;

// Appends one group, zero-padded to four digits, with a leading ":" unless
// it is the first group since the start or since the last "::".
void writeGroup(std::string& result, const std::string& portion, int turn) {
    if (turn > 0) {
        result += ':';
    }
    if (portion.size() < kGroupDigits) {
        result.append(kGroupDigits - portion.size(), '0');
    }
    result += portion;
}

// Moves bytes (two hex digits each) of text from pos onwards into part;
// colons met on the way are copied but do not count.
void copyBytes(const std::string& text, std::size_t& pos, int bytes, std::string& part) {
    for (int b = 0; b < bytes; ++b) {
        int digits = 0;
        while (digits < 2 && pos < text.size()) {
            char c = text[pos++];
            part += c;
            if (c != ':') {
                ++digits;
            }
        }
    }
}

}  // namespace

int IPV6::getPtrEntries(std::string ipV6Addrs, int networkBits, std::string& confEntry,
                        std::string& ptrEntry) {
    std::string expanded = expandIPV6(ipV6Addrs);
    std::string networkPart;
    std::string hostPart;
    separateNetworkHostPart(expanded, networkBits, networkPart, hostPart);
    confEntry = insertTokenAfterEachChar(eraseCharFromString(reverseString(networkPart), ':'), '.');
    ptrEntry = insertTokenAfterEachChar(eraseCharFromString(reverseString(hostPart), ':'), '.');
    return 0;
}

std::string IPV6::expandIPV6(std::string ipV6) {
    std::string result;
    std::string portion;
    int turn = 0;
    const std::size_t n = ipV6.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char c = ipV6[i];
        const bool last = (i + 1 == n);
        if (c != ':') {
            portion += c;
            if (last) {
                writeGroup(result, portion, turn);
            }
        } else if (!last && ipV6[i + 1] == ':') {
            if (turn > 0) {
                result += ':';
            }
            if (!portion.empty()) {
                writeGroup(result, portion, 0);
                portion.clear();
                ++turn;
            }
            if (turn > 0) {
                result += ':';
            }
            result += getZeros(ipV6);
            ++i;  // the second ":" of the pair
            if (i + 1 == n && !result.empty()) {
                result.pop_back();  // the zero groups' trailing ":"
            }
            turn = 0;
        } else {
            // A ":" before a digit, or a lone ":" at the very end.
            writeGroup(result, portion, turn);
            portion.clear();
            ++turn;
        }
    }
    return result;
}

std::string IPV6::getZeros(std::string ipV6) {
    const auto colons = std::count(ipV6.begin(), ipV6.end(), ':');
    long groups = colons < 8 ? 8 - colons : 0;
    if (ipV6.compare(0, 2, "::") == 0) {
        ++groups;
    }
    if (ipV6.size() >= 2 && ipV6.compare(ipV6.size() - 2, 2, "::") == 0) {
        ++groups;
    }
    std::string zeros;
    for (long g = 0; g < groups; ++g) {
        zeros += "0000:";
    }
    return zeros;
}

int IPV6::separateNetworkHostPart(std::string expandedIPV6Addrs, int subnetBits,
                                  std::string& network, std::string& host) {
    const int subnetBytes = subnetBits / 8;
    const int hostBytes = 16 - subnetBytes;
    if (subnetBytes <= 0) {
        std::cout << "Invalid subnet bytes" << std::endl;
        return IPV6_SPLIT_INVALID_PREFIX;
    }
    std::size_t pos = 0;
    copyBytes(expandedIPV6Addrs, pos, subnetBytes, network);
    if (!network.empty() && network.back() == ':') {
        network.pop_back();
    }
    copyBytes(expandedIPV6Addrs, pos, hostBytes, host);
    return IPV6_SPLIT_OK;
}

std::string IPV6::reverseString(std::string stringToReverse) {
    std::reverse(stringToReverse.begin(), stringToReverse.end());
    return stringToReverse;
}

std::string IPV6::eraseCharFromString(std::string str, char charToErase) {
    str.erase(std::remove(str.begin(), str.end(), charToErase), str.end());
    return str;
}

std::string IPV6::insertTokenAfterEachChar(std::string str, char token) {
    std::string result;
    for (std::size_t i = 0; i < str.size(); ++i) {
        if (i > 0) {
            result += token;
        }
        result += str[i];
    }
    return result;
}
