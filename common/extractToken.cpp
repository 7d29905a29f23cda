#include "extractToken.h"

#include <cstddef>

namespace {

bool isBlankOrTab(char c) {
    return c == ' ' || c == '\t';
}

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

void TrimSpaces(std::string& str) {
    std::size_t first = 0;
    while (first < str.size() && isBlankOrTab(str[first])) {
        ++first;
    }
    if (first == str.size()) {
        str.clear();
        return;
    }
    std::size_t last = str.size() - 1;
    while (isBlankOrTab(str[last])) {
        --last;
    }
    str = str.substr(first, last - first + 1);
}

bool extractToken(const std::string& delimeter, int tokenNo, const std::string& input,
                  std::string& result) {
    result.clear();
    if (delimeter.empty() || tokenNo < 1) {
        return false;
    }
    // Field n lies between delimiter n-1 and delimiter n. Each search starts
    // one character after the previous match.
    std::size_t fieldStart = 0;
    std::size_t searchFrom = 0;
    std::size_t match = input.find(delimeter);
    if (match == std::string::npos) {
        return false;
    }
    for (int field = 1; field < tokenNo; ++field) {
        if (match == std::string::npos) {
            return false;
        }
        fieldStart = match + delimeter.size();
        searchFrom = match + 1;
        match = input.find(delimeter, searchFrom);
    }
    if (fieldStart > input.size()) {
        return true;
    }
    std::size_t end = (match == std::string::npos) ? input.size() : match;
    if (end > fieldStart) {
        result = input.substr(fieldStart, end - fieldStart);
    }
    return true;
}

bool parse(const std::string& instr, const std::string& delim,
           std::vector<std::string>& parsedString) {
    if (instr.empty()) {
        return false;
    }
    if (delim.empty()) {
        parsedString.push_back(instr);
        return true;
    }
    std::size_t fieldStart = 0;
    std::size_t match = instr.find(delim);
    if (match == std::string::npos) {
        // A lone value is a list of one: a server with a single database
        // must still be backed up and restored.
        parsedString.push_back(instr);
        return true;
    }
    while (match != std::string::npos) {
        parsedString.push_back(instr.substr(fieldStart, match - fieldStart));
        // The next field starts one character after the match, whatever the
        // delimiter's length; every caller uses a one-character delimiter.
        fieldStart = match + 1;
        if (fieldStart >= instr.size()) {
            return true;
        }
        match = instr.find(delim, fieldStart);
    }
    parsedString.push_back(instr.substr(fieldStart));
    return true;
}

void split(const std::string& instr, std::vector<std::string>& list) {
    std::size_t start = 0;
    std::size_t cr;
    while (start < instr.size() && (cr = instr.find('\r', start)) != std::string::npos) {
        list.push_back(instr.substr(start, cr - start));
        start = cr + 2;
    }
}

bool isInteger(const std::string& str) {
    for (char c : str) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

bool isAsciiString(const std::string& str) {
    for (char c : str) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

bool equalsIgnoreCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && startsWithIgnoreCase(a, b);
}

bool startsWithIgnoreCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (lowerAscii(text[i]) != lowerAscii(prefix[i])) {
            return false;
        }
    }
    return true;
}
