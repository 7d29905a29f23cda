#include "PunyCode.h"

#include <cctype>
#include <iostream>
#include <vector>

#include "command.h"
#include "extractToken.h"

namespace {

// The tools print a line or a few; anything larger is not an answer.
constexpr std::size_t kToolOutputLimit = 64 * 1024;

}  // namespace

std::string PunyCode::getCommandPath(std::string name) {
    std::string output;
    if (Command("which").arg(name).captureOutput(&output, kToolOutputLimit).run() ==
            COMMAND_OUTPUT_TOO_LARGE ||
        output.empty() || output.find("which: no") != std::string::npos) {
        return "";
    }
    if (output.back() == '\n') {
        output.pop_back();
    }
    return output;
}

int PunyCode::isSystemCharsetIsUTF8() {
    const std::string locale = getCommandPath("locale");
    if (locale.empty()) {
        return CHARSET_NO_LOCALE_TOOL;
    }
    std::string output;
    Command(locale).captureOutput(&output, kToolOutputLimit).run();
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) {
            end = output.size();
        }
        lines.push_back(output.substr(start, end - start));
        start = end + 1;
    }
    for (std::string line : lines) {
        std::size_t first = 0;
        while (first < line.size() && std::isspace(static_cast<unsigned char>(line[first]))) {
            ++first;
        }
        line.erase(0, first);
        if (!startsWithIgnoreCase(line, "LANG=")) {
            continue;
        }
        std::string value = line.substr(5);
        std::size_t dot = value.find('.');
        std::string charset = dot == std::string::npos ? value : value.substr(dot + 1);
        return equalsIgnoreCase(charset, "UTF-8") ? CHARSET_UTF8 : CHARSET_OTHER;
    }
    return CHARSET_NO_LANG;
}

int PunyCode::getPunycode(std::string str, std::string& punycode) {
    const std::string idn = getCommandPath("idn");
    if (idn.empty()) {
        return PUNYCODE_NO_IDN_TOOL;
    }
    punycode.clear();
    std::cout << "command =" << idn << " --quiet " << str << std::endl;
    std::string output;
    // "--" keeps a name that begins with "-" from being taken as an option.
    int status = Command(idn)
                     .arg("--quiet")
                     .arg("--")
                     .arg(str)
                     .captureOutput(&output, kToolOutputLimit)
                     .run();
    if (status == COMMAND_OUTPUT_TOO_LARGE || output.empty()) {
        return PUNYCODE_NO_OUTPUT;
    }
    if (output == str) {
        std::cout << "punycode and string are same" << std::endl;
        punycode = str;
        return PUNYCODE_OK;
    }
    if (startsWithIgnoreCase(output, "xn--") || output.find(".xn--") != std::string::npos) {
        punycode = output;
        return PUNYCODE_OK;
    }
    return PUNYCODE_NOT_ACE;
}
