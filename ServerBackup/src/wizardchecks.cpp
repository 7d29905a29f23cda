#include "wizardchecks.h"

#include <cstdlib>
#include <vector>

#include "XMLParser.h"
#include "extractToken.h"

namespace {

// The scheduler reads at most this many digits of either side of a time.
constexpr std::size_t kMaxTimeFieldDigits = 4;
constexpr std::size_t kMaxDotsInAddress = 3;
constexpr long kMaxAddressPiece = 255;
constexpr int kMaxPurgeDays = 30;
constexpr long kMaxMonthDay = 28;

bool isTimeField(const std::string& digits, long max) {
    return digits.size() <= kMaxTimeFieldDigits && isInteger(digits) &&
           leadingNumber(digits) <= max;
}

bool isDigitBetween(const std::string& answer, char low, char high) {
    return answer.size() == 1 && answer[0] >= low && answer[0] <= high;
}

}  // namespace

bool isValidTime(const std::string& time) {
    std::size_t colon = time.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    return isTimeField(time.substr(0, colon), 23) && isTimeField(time.substr(colon + 1), 59);
}

bool isValidIP(const std::string& ip) {
    std::size_t dots = 0;
    std::size_t start = 0;
    for (;;) {
        std::size_t dot = ip.find('.', start);
        long piece = leadingNumber(ip.substr(start, dot - start));
        if (piece < 0 || piece > kMaxAddressPiece) {
            return false;
        }
        if (dot == std::string::npos) {
            return true;
        }
        if (++dots > kMaxDotsInAddress) {
            return false;
        }
        start = dot + 1;
    }
}

long leadingNumber(const std::string& text) {
    // strtol reads what atoi reads, but clamps instead of overflowing.
    return std::strtol(text.c_str(), nullptr, 10);
}

bool canStoreValue(const std::string& value) {
    const std::string document =
        "<command><action>Check</action><parameter name=\"Value\"><![CDATA[" + value +
        "]]></parameter></command>";
    std::vector<std::string> entries;
    std::string error;
    return XMLParser(document, entries, error) == XML_PARSE_OK && entries.size() == 2 &&
           entries[1] == "Value=" + value;
}

bool isYesOrNo(const std::string& answer) {
    return equalsIgnoreCase(answer, "yes") || equalsIgnoreCase(answer, "no");
}

bool beginsWithYes(const std::string& answer) {
    return startsWithIgnoreCase(answer, "yes");
}

PurgeAnswer purgeAnswer(const std::string& answer) {
    if (beginsWithYes(answer)) {
        return PurgeAnswer::Yes;
    }
    return startsWithIgnoreCase(answer, "no") ? PurgeAnswer::No : PurgeAnswer::Neither;
}

int purgeDays(const std::string& answer) {
    long days = leadingNumber(answer);
    return days >= 1 && days <= kMaxPurgeDays ? static_cast<int>(days) : 0;
}

int locationChoice(const std::string& answer) {
    if (answer.empty()) {
        return kChoiceNone;
    }
    switch (answer[0]) {
        case '1':
            return kChoiceLocal;
        case '2':
            return kChoiceRemote;
        default:
            return kChoiceNone;
    }
}

int scheduleChoice(const std::string& answer) {
    return isDigitBetween(answer, '1', '3') ? answer[0] - '0' : kChoiceNone;
}

bool isValidWeekDay(const std::string& answer) {
    return isDigitBetween(answer, '0', '6');
}

bool isValidMonthDay(const std::string& answer) {
    if (!isInteger(answer)) {
        return false;
    }
    long day = leadingNumber(answer);
    return day >= 1 && day <= kMaxMonthDay;
}

bool isFileFilter(const std::string& answer) {
    return !answer.empty() && answer[0] == '.';
}

std::string backupFolderPath(const std::string& answer) {
    if (!answer.empty() && answer.back() == '/') {
        return answer;
    }
    return answer + "/";
}

bool isUsableBackupPath(const std::string& folder) {
    return !folder.empty() && folder[0] == '/' && canStoreValue(folder);
}

std::string ftpPortValue(const std::string& answer) {
    if (answer.empty()) {
        return "21";
    }
    if (answer.size() == 1 && isInteger(answer)) {
        return "0" + answer;
    }
    return answer;
}
