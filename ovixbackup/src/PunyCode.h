// Whether an internationalised domain name can be handled here: the
// system's character set must be UTF-8 and the system's idn tool must turn
// the name into its ASCII ("xn--") form. No conversion of our own.
#ifndef OVIXBACKUP_PUNYCODE_H
#define OVIXBACKUP_PUNYCODE_H

#include <string>

// Results of isSystemCharsetIsUTF8.
constexpr int CHARSET_UTF8 = 0;
constexpr int CHARSET_NO_LOCALE_TOOL = 1;
constexpr int CHARSET_OTHER = 2;
constexpr int CHARSET_NO_LANG = 4;

// Results of getPunycode.
constexpr int PUNYCODE_OK = 0;
constexpr int PUNYCODE_NO_IDN_TOOL = 1;
constexpr int PUNYCODE_NOT_ACE = 2;
constexpr int PUNYCODE_NO_OUTPUT = 3;

class PunyCode {
public:
    PunyCode() = default;

    // Full path of a command as `which` finds it, or empty.
    std::string getCommandPath(std::string name);

    // Whether the character set of LANG, as `locale` reports it, is UTF-8
    // (ignoring case): CHARSET_UTF8, CHARSET_OTHER, CHARSET_NO_LANG when
    // `locale` names no LANG, CHARSET_NO_LOCALE_TOOL when it is missing.
    int isSystemCharsetIsUTF8();

    // Converts str with `idn --quiet`. PUNYCODE_OK when the tool's output is
    // str itself or holds an "xn--" label (punycode then holds the output as
    // read), PUNYCODE_NOT_ACE for any other output, PUNYCODE_NO_OUTPUT when
    // it printed nothing, PUNYCODE_NO_IDN_TOOL when idn is missing.
    int getPunycode(std::string str, std::string& punycode);
};

#endif
