#pragma once

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A flat JSON object of numbers and booleans, keys in file order. Returns
// false (with a reason) on any syntax error or on other value kinds.
bool parseFlatJSON(const std::string& text, std::vector<std::pair<std::string, std::string>>& fields,
                   std::string& error);

// Minimal XML well-formedness check: one optional declaration, properly nested
// and closed elements, quoted attribute values. Counts elements by name.
struct XmlSummary {
    bool wellFormed = false;
    std::string error;
    std::vector<std::pair<std::string, size_t>> elementCounts;
    size_t count(const std::string& name) const;
};
XmlSummary checkXml(const std::string& text);

} // namespace testsupport
