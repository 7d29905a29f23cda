#include "backupset.h"

std::string backupStamp(const struct tm& day) {
    int year = (day.tm_year + 1900) % 100;
    std::string twoDigits = (year < 10 ? "0" : "") + std::to_string(year);
    return std::to_string(day.tm_mday) + "-" + std::to_string(day.tm_mon + 1) + "-" + twoDigits;
}

std::string backupSetRoot(const std::string& location, const std::string& stamp) {
    return location + "/" BACKUPSET_PREFIX "-" + stamp;
}
