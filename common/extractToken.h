// Small text helpers shared by the three programs: trimming, picking the n-th
// field of a delimited line, cutting a text into a list, and two character
// class tests. All are pure functions of their arguments.
#ifndef OVIX_COMMON_EXTRACTTOKEN_H
#define OVIX_COMMON_EXTRACTTOKEN_H

#include <string>
#include <vector>

// Removes leading and trailing blanks and tabs (only those: a carriage return
// or line feed at either end is kept). A text of blanks and tabs becomes empty.
void TrimSpaces(std::string& str);

// Sets result to field tokenNo (counted from 1) of input, fields being
// separated by delimeter. Returns false, with result empty, when the field
// does not exist, when input holds no delimiter at all, when delimeter is
// empty or when tokenNo is below 1. "a:b::d" with ":" gives b, "", d for the
// fields 2 to 4 and false for field 5.
bool extractToken(const std::string& delimeter, int tokenNo, const std::string& input,
                  std::string& result);

// Appends the fields of instr, separated by delim, to parsedString (which is
// never cleared). A trailing delimiter adds no empty last field; a lone value
// without any delimiter is a list of one. Returns false, appending nothing,
// for an empty instr.
bool parse(const std::string& instr, const std::string& delim,
           std::vector<std::string>& parsedString);

// Appends each "\r\n"-ended line of instr to list, without its line end.
// Text after the last carriage return is not a complete line and is dropped.
void split(const std::string& instr, std::vector<std::string>& list);

// True when every character is a decimal digit; the empty text is true.
bool isInteger(const std::string& str);

// True when no byte has its high bit set; the empty text is true.
bool isAsciiString(const std::string& str);

// Case-insensitive comparisons in the C locale, as names and keys of the
// suite's files and answers are compared.
bool equalsIgnoreCase(const std::string& a, const std::string& b);
bool startsWithIgnoreCase(const std::string& text, const std::string& prefix);

#endif
