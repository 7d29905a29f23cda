#include "retention.h"

#include "backupset.h"
#include "extractToken.h"

namespace {

// Reads one to maxDigits digits at pos; false when there are none or more.
bool readNumber(const std::string& text, std::size_t& pos, std::size_t minDigits,
                std::size_t maxDigits, int& value) {
    std::size_t start = pos;
    value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < maxDigits) {
        value = value * 10 + (text[pos] - '0');
        ++pos;
    }
    std::size_t digits = pos - start;
    bool moreDigits = pos < text.size() && text[pos] >= '0' && text[pos] <= '9';
    return digits >= minDigits && !moreDigits;
}

bool expect(const std::string& text, std::size_t& pos, char c) {
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

}  // namespace

bool parseBackupSetName(const std::string& name, int& day, int& month, int& year) {
    const std::string prefix = BACKUPSET_PREFIX "-";
    if (!startsWithIgnoreCase(name, prefix)) {
        return false;
    }
    std::size_t pos = prefix.size();
    int yy = 0;
    if (!readNumber(name, pos, 1, 2, day) || !expect(name, pos, '-') ||
        !readNumber(name, pos, 1, 2, month) || !expect(name, pos, '-') ||
        !readNumber(name, pos, 2, 2, yy)) {
        return false;
    }
    const std::string rest = name.substr(pos);
    if (!rest.empty() && !equalsIgnoreCase(rest, ".zip")) {
        return false;
    }
    if (day < 1 || day > 31 || month < 1 || month > 12) {
        return false;
    }
    year = 2000 + yy;
    return true;
}

bool backupSetAge(const std::string& name, time_t now, long& age) {
    int day = 0;
    int month = 0;
    int year = 0;
    if (!parseBackupSetName(name, day, month, year)) {
        return false;
    }
    struct tm local = {};
    localtime_r(&now, &local);
    struct tm made = local;
    made.tm_mday = day;
    made.tm_mon = month - 1;
    made.tm_year = year - 1900;
    made.tm_isdst = -1;
    time_t madeAt = mktime(&made);
    if (madeAt == static_cast<time_t>(-1)) {
        return false;
    }
    age = static_cast<long>(now - madeAt);
    return true;
}
