// Lookups in the panel configuration file and in name=value settings files.
// Every lookup opens, scans and closes its file, so the next lookup sees any
// change made meanwhile; nothing is cached.
#ifndef OVIX_COMMON_OVIXCONFIG_H
#define OVIX_COMMON_OVIXCONFIG_H

#include <string>

// The panel configuration file, written by the hosting control panel.
#define OVIXCONFFILE "/etc/Ovix.conf"

// Results of getParamFromOvixConfFile.
constexpr int OVIXCONF_FOUND = 1;
constexpr int OVIXCONF_NOT_FOUND = 0;

// Results of GetParameterFromFile.
constexpr int PARAM_FOUND = 0;
constexpr int PARAM_NOT_FOUND = 3;

// Looks param up in a file of lines shaped `  Key = "value" ...`: the first
// line whose text (after leading white space) begins with param, compared
// ignoring case, decides. Its value is the text between the line's first two
// double quotes. Returns OVIXCONF_FOUND with ParamVal set, or
// OVIXCONF_NOT_FOUND with ParamVal untouched (empty key, file not readable,
// no matching line, matching line without two quotes, or a line too long to
// read before the key was found).
int getParamFromOvixConfFile(std::string file, std::string& ParamVal, std::string param);

// Looks paramName up in a file of `name<token>value` lines, such as named's
// settings files. Lines beginning with commentString (ignoring case) are
// skipped. Names are compared whole, ignoring case, after trimming blanks and
// tabs. With isDoubleQuoted the value's first character is taken as the
// opening quote and the value ends before the next double quote, when there
// is one. parameterValue is emptied first. Returns PARAM_FOUND or
// PARAM_NOT_FOUND (also for an empty name or an unreadable file).
int GetParameterFromFile(std::string fileName, std::string paramName, char token,
                         std::string commentString, std::string& parameterValue,
                         bool isDoubleQuoted);

#endif
