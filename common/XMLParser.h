// Reader of the suite's XML commands: the Ovix Server's answers and the
// backup configuration file. A document is flattened into a list of
// "name=value" entries, entry 0 carrying the action.
//
// How entries are formed (peers and stored files rely on these rules):
// - the name is gathered from start tags: the tag name itself only for
//   <action> (as written), then every attribute value, without separators;
//   <command> adds nothing;
// - each run of character data of two or more bytes ends an entry; shorter
//   runs are dropped and leave the pending name to be joined with the next;
// - character data without a pending name continues the last entry: a new
//   entry holding the last one, "\r" and the new text.
#ifndef OVIX_COMMON_XMLPARSER_H
#define OVIX_COMMON_XMLPARSER_H

#include <string>
#include <vector>

// Results of XMLParser.
constexpr int XML_PARSE_OK = 0;
constexpr int XML_PARSE_NO_MEMORY = 1;
constexpr int XML_PARSE_MALFORMED = 2;

// Exit status of an interactive program whose answer or file did not parse.
constexpr int XML_PARSE_EXIT_STATUS = 255;

// Parses document up to its first NUL (if any) into entries (replaced, not
// appended to). On failure entries is empty and error holds the text to show
// the administrator: "Couldn't allocate memory for parser\n" or
// "Parse error at line <n>:\n<expat's message>\n". Entries are held to 64 MiB
// in all ("document too large" past that). Re-entrant: no state is kept
// between calls.
int XMLParser(const std::string& document, std::vector<std::string>& entries, std::string& error);

// Splits one entry at its first "=": {name, value}. An entry without "="
// gives an empty list, which must not be indexed.
std::vector<std::string> COvixGetCommand(const std::string& Command);

#endif
