#include "support/formats.h"

#include <cctype>
#include <cstdlib>
#include <map>

namespace testsupport {

namespace {

void skipSpace(const std::string& s, size_t& i)
{
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i])))
        ++i;
}

} // namespace

bool parseFlatJSON(const std::string& text, std::vector<std::pair<std::string, std::string>>& fields,
                   std::string& error)
{
    fields.clear();
    size_t i = 0;
    skipSpace(text, i);
    if (i >= text.size() || text[i] != '{') {
        error = "expected {";
        return false;
    }
    ++i;
    bool first = true;
    while (true) {
        skipSpace(text, i);
        if (i < text.size() && text[i] == '}') {
            ++i;
            break;
        }
        if (!first) {
            if (i >= text.size() || text[i] != ',') {
                error = "expected , at " + std::to_string(i);
                return false;
            }
            ++i;
            skipSpace(text, i);
        }
        first = false;
        if (i >= text.size() || text[i] != '"') {
            error = "expected key at " + std::to_string(i);
            return false;
        }
        const size_t end = text.find('"', i + 1);
        if (end == std::string::npos) {
            error = "unterminated key";
            return false;
        }
        const std::string key = text.substr(i + 1, end - i - 1);
        i = end + 1;
        skipSpace(text, i);
        if (i >= text.size() || text[i] != ':') {
            error = "expected :";
            return false;
        }
        ++i;
        skipSpace(text, i);
        size_t vEnd = i;
        while (vEnd < text.size() && text[vEnd] != ',' && text[vEnd] != '}' &&
               !std::isspace(static_cast<unsigned char>(text[vEnd])))
            ++vEnd;
        const std::string value = text.substr(i, vEnd - i);
        if (value != "true" && value != "false") {
            char* stop = nullptr;
            std::strtod(value.c_str(), &stop);
            if (value.empty() || *stop != '\0' || value == "nan" || value == "inf" || value == "-nan" ||
                value == "-inf") {
                error = "bad value for " + key + ": '" + value + "'";
                return false;
            }
        }
        fields.emplace_back(key, value);
        i = vEnd;
    }
    skipSpace(text, i);
    if (i != text.size()) {
        error = "trailing text";
        return false;
    }
    return true;
}

size_t XmlSummary::count(const std::string& name) const
{
    for (const auto& e : elementCounts) {
        if (e.first == name)
            return e.second;
    }
    return 0;
}

XmlSummary checkXml(const std::string& text)
{
    XmlSummary summary;
    std::map<std::string, size_t> counts;
    std::vector<std::string> stack;
    size_t i = 0;
    bool rootSeen = false;
    while (i < text.size()) {
        const size_t lt = text.find('<', i);
        if (lt == std::string::npos) {
            for (size_t k = i; k < text.size(); ++k) {
                if (!std::isspace(static_cast<unsigned char>(text[k]))) {
                    summary.error = "text after the root element";
                    return summary;
                }
            }
            break;
        }
        const size_t gt = text.find('>', lt);
        if (gt == std::string::npos) {
            summary.error = "unterminated tag";
            return summary;
        }
        std::string tag = text.substr(lt + 1, gt - lt - 1);
        i = gt + 1;
        if (!tag.empty() && tag[0] == '?') {
            if (tag.back() != '?' || rootSeen) {
                summary.error = "bad declaration";
                return summary;
            }
            continue;
        }
        if (!tag.empty() && tag[0] == '/') {
            const std::string name = tag.substr(1);
            if (stack.empty() || stack.back() != name) {
                summary.error = "mismatched closing tag " + name;
                return summary;
            }
            stack.pop_back();
            continue;
        }
        const bool selfClosing = !tag.empty() && tag.back() == '/';
        if (selfClosing)
            tag.pop_back();
        size_t n = 0;
        while (n < tag.size() && !std::isspace(static_cast<unsigned char>(tag[n])))
            ++n;
        const std::string name = tag.substr(0, n);
        if (name.empty()) {
            summary.error = "empty element name";
            return summary;
        }
        // Attributes: name="value" pairs.
        size_t a = n;
        while (true) {
            skipSpace(tag, a);
            if (a >= tag.size())
                break;
            const size_t eq = tag.find('=', a);
            if (eq == std::string::npos || eq + 1 >= tag.size() || tag[eq + 1] != '"') {
                summary.error = "bad attribute in " + name;
                return summary;
            }
            const size_t close = tag.find('"', eq + 2);
            if (close == std::string::npos) {
                summary.error = "unterminated attribute in " + name;
                return summary;
            }
            a = close + 1;
        }
        if (stack.empty()) {
            if (rootSeen) {
                summary.error = "second root element";
                return summary;
            }
            rootSeen = true;
        }
        ++counts[name];
        if (!selfClosing)
            stack.push_back(name);
    }
    if (!stack.empty()) {
        summary.error = "unclosed element " + stack.back();
        return summary;
    }
    summary.wellFormed = rootSeen;
    if (!rootSeen)
        summary.error = "no root element";
    for (const auto& c : counts)
        summary.elementCounts.emplace_back(c.first, c.second);
    return summary;
}

} // namespace testsupport
