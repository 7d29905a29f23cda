#include "ovixconfig.h"

#include <cctype>
#include <cstddef>

#include "extractToken.h"
#include "sysutil.h"

namespace {

std::size_t skipWhiteSpace(const std::string& line) {
    std::size_t i = 0;
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) {
        ++i;
    }
    return i;
}

}  // namespace

int getParamFromOvixConfFile(std::string file, std::string& ParamVal, std::string param) {
    if (param.empty()) {
        return OVIXCONF_NOT_FOUND;
    }
    LineReader reader(file);
    std::string line;
    while (reader.next(line) == LineReader::Result::Line) {
        if (line.empty()) {
            continue;
        }
        std::size_t textStart = skipWhiteSpace(line);
        if (!startsWithIgnoreCase(line.substr(textStart), param)) {
            continue;
        }
        // The first matching line decides, even when it holds no quoted value.
        std::size_t open = line.find('"');
        std::size_t close = (open == std::string::npos) ? open : line.find('"', open + 1);
        if (close == std::string::npos) {
            return OVIXCONF_NOT_FOUND;
        }
        ParamVal = line.substr(open + 1, close - open - 1);
        return OVIXCONF_FOUND;
    }
    return OVIXCONF_NOT_FOUND;
}

int GetParameterFromFile(std::string fileName, std::string paramName, char token,
                         std::string commentString, std::string& parameterValue,
                         bool isDoubleQuoted) {
    parameterValue.clear();
    if (paramName.empty()) {
        return PARAM_NOT_FOUND;
    }
    LineReader reader(fileName);
    std::string line;
    while (reader.next(line) == LineReader::Result::Line) {
        std::string text = line.substr(skipWhiteSpace(line));
        if (text.empty() || startsWithIgnoreCase(text, commentString)) {
            continue;
        }
        std::size_t tokenPos = text.find(token);
        if (tokenPos == std::string::npos) {
            continue;
        }
        std::string name = text.substr(0, tokenPos);
        std::string value = text.substr(tokenPos + 1);
        TrimSpaces(name);
        TrimSpaces(value);
        if (!equalsIgnoreCase(name, paramName)) {
            continue;
        }
        value.erase(0, skipWhiteSpace(value));
        parameterValue = value;
        if (isDoubleQuoted && !value.empty()) {
            std::size_t close = value.find('"', 1);
            if (close != std::string::npos) {
                parameterValue = value.substr(1, close - 1);
            }
        }
        return PARAM_FOUND;
    }
    return PARAM_NOT_FOUND;
}
