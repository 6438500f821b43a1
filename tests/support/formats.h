#pragma once

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A flat JSON object of numbers and booleans, checked by Qt's JSON parser:
// the fields with their values' text, in file order. False, with the
// reason, on a syntax error or another kind of value.
bool parseFlatJSON(const std::string& text, std::vector<std::pair<std::string, std::string>>& fields,
                   std::string& error);

// XML read by Qt's XML parser: well-formed or the reason, and the number of
// elements of each name.
struct XmlSummary {
    bool wellFormed = false;
    std::string error;
    std::vector<std::pair<std::string, size_t>> elementCounts;
    size_t count(const std::string& name) const;
};
XmlSummary checkXml(const std::string& text);

} // namespace testsupport
