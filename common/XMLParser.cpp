#include "XMLParser.h"

#include <expat.h>

#include <climits>
#include <cstring>
#include <memory>

#include "extractToken.h"

namespace {

struct ParseState {
    XML_Parser parser = nullptr;
    std::vector<std::string> vec;
    std::string Node;       // entry name gathered from start tags, not yet used
    std::size_t bytes = 0;  // text held by vec
    bool tooLarge = false;
};

// Each further line of a value repeats the whole value so far, so a peer
// could make the entries grow with the square of its answer: they are held
// to a fixed total instead.
constexpr std::size_t kMaxEntryBytes = 64 * 1024 * 1024;

void addEntry(ParseState& state, std::string entry) {
    if (state.tooLarge) {
        return;
    }
    if (state.bytes + entry.size() > kMaxEntryBytes) {
        state.tooLarge = true;
        XML_StopParser(state.parser, XML_FALSE);
        return;
    }
    state.bytes += entry.size();
    state.vec.push_back(std::move(entry));
}

void XMLCALL start(void* userData, const XML_Char* name, const XML_Char** atts) {
    ParseState& state = *static_cast<ParseState*>(userData);
    std::string element(name);
    if (equalsIgnoreCase(element, "command")) {
        return;
    }
    if (equalsIgnoreCase(element, "action")) {
        state.Node += element;
    }
    for (int i = 0; atts[i] != nullptr && atts[i + 1] != nullptr; i += 2) {
        state.Node += atts[i + 1];
    }
}

void XMLCALL chardata(void* userData, const XML_Char* text, int length) {
    // Line ends between elements arrive as one-byte runs and are dropped here.
    if (length < 2) {
        return;
    }
    ParseState& state = *static_cast<ParseState*>(userData);
    std::string value(text, static_cast<std::size_t>(length));
    if (!state.Node.empty()) {
        addEntry(state, state.Node + "=" + value);
    } else if (!state.vec.empty()) {
        addEntry(state, state.vec.back() + "\r" + value);
    } else {
        addEntry(state, "=" + value);
    }
    state.Node.clear();
}

struct ParserFree {
    void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
};

}  // namespace

int XMLParser(const std::string& document, std::vector<std::string>& entries, std::string& error) {
    entries.clear();
    error.clear();
    std::unique_ptr<XML_ParserStruct, ParserFree> parser(XML_ParserCreate(nullptr));
    if (!parser) {
        error = "Couldn't allocate memory for parser\n";
        return XML_PARSE_NO_MEMORY;
    }
    ParseState state;
    state.parser = parser.get();
    XML_SetUserData(parser.get(), &state);
    XML_SetStartElementHandler(parser.get(), start);
    XML_SetCharacterDataHandler(parser.get(), chardata);

    // The document ends at its first NUL, as a C string would.
    std::size_t length = std::strlen(document.c_str());
    if (length > static_cast<std::size_t>(INT_MAX)) {
        error = "Parse error at line 0:\ndocument too large\n";
        return XML_PARSE_MALFORMED;
    }
    if (XML_Parse(parser.get(), document.data(), static_cast<int>(length), 1) == XML_STATUS_ERROR) {
        error = "Parse error at line " + std::to_string(XML_GetCurrentLineNumber(parser.get())) +
                ":\n" +
                (state.tooLarge ? "document too large"
                                : XML_ErrorString(XML_GetErrorCode(parser.get()))) +
                "\n";
        return XML_PARSE_MALFORMED;
    }
    entries = std::move(state.vec);
    return XML_PARSE_OK;
}

std::vector<std::string> COvixGetCommand(const std::string& Command) {
    std::size_t eq = Command.find('=');
    if (eq == std::string::npos) {
        return {};
    }
    return {Command.substr(0, eq), Command.substr(eq + 1)};
}
