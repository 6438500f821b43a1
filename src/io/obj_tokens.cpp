#include "io/obj_tokens.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace objtokens {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// For a well-formed decimal number that does not fit a double: true when its
// magnitude is below one (it underflowed), false when it is above (overflow).
// The decimal exponent of the leading significant digit decides.
bool belowOne(std::string_view t)
{
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    long long leading = 0; // decimal exponent of the first non-zero digit
    bool found = false;
    long long integerDigits = 0;
    for (; i < t.size() && isDigit(t[i]); ++i) {
        if (!found && t[i] != '0') {
            found = true;
        }
        if (found)
            ++integerDigits;
    }
    if (found)
        leading = integerDigits - 1;
    if (i < t.size() && t[i] == '.') {
        ++i;
        long long position = -1;
        for (; i < t.size() && isDigit(t[i]); ++i, --position) {
            if (!found && t[i] != '0') {
                found = true;
                leading = position;
            }
        }
    }
    if (!found)
        return true; // all zeros never leave the range; treat as tiny
    long long exponent = 0;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            negative = t[i++] == '-';
        for (; i < t.size() && isDigit(t[i]); ++i) {
            if (exponent < 1000000000LL)
                exponent = exponent * 10 + (t[i] - '0');
        }
        if (negative)
            exponent = -exponent;
    }
    return leading + exponent < 0;
}

} // namespace

NumberStatus parseCoordinate(std::string_view token, double& value)
{
    std::string_view t = token;
    // from_chars takes no leading plus sign; OBJ writers sometimes do.
    if (!t.empty() && t.front() == '+') {
        t.remove_prefix(1);
        if (!t.empty() && (t.front() == '+' || t.front() == '-'))
            return NumberStatus::Malformed;
    }
    if (t.empty())
        return NumberStatus::Malformed;
    const char* end = t.data() + t.size();
    double parsed = 0.0;
    const std::from_chars_result r = std::from_chars(t.data(), end, parsed, std::chars_format::general);
    if (r.ec == std::errc::invalid_argument || r.ptr != end)
        return NumberStatus::Malformed;
    if (r.ec == std::errc::result_out_of_range) {
        if (!belowOne(t))
            return NumberStatus::NonFinite;
        value = t.front() == '-' ? -0.0 : 0.0;
        return NumberStatus::Ok;
    }
    if (!std::isfinite(parsed))
        return NumberStatus::NonFinite;
    value = parsed;
    return NumberStatus::Ok;
}

IndexStatus parseIndex(std::string_view token, long long& value)
{
    std::string_view t = token;
    bool negative = false;
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    if (t.empty())
        return IndexStatus::Malformed;
    for (char c : t) {
        if (!isDigit(c))
            return IndexStatus::Malformed;
    }
    unsigned long long magnitude = 0;
    const std::from_chars_result r = std::from_chars(t.data(), t.data() + t.size(), magnitude);
    if (r.ec == std::errc::result_out_of_range || magnitude > 9223372036854775807ULL)
        return IndexStatus::Overflow;
    value = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    return IndexStatus::Ok;
}

bool parseCorner(std::string_view token, CornerToken& corner)
{
    corner = CornerToken();
    const size_t slash1 = token.find('/');
    const std::string_view vertexPart = token.substr(0, slash1);
    corner.vertexStatus = parseIndex(vertexPart, corner.vertex);
    if (corner.vertexStatus == IndexStatus::Malformed)
        return false;
    if (slash1 == std::string_view::npos)
        return true;
    const std::string_view rest = token.substr(slash1 + 1);
    const size_t slash2 = rest.find('/');
    const std::string_view texPart = rest.substr(0, slash2);
    if (!texPart.empty()) {
        corner.hasTexcoord = true;
        corner.texcoordStatus = parseIndex(texPart, corner.texcoord);
        if (corner.texcoordStatus == IndexStatus::Malformed)
            return false;
    }
    if (slash2 == std::string_view::npos)
        return !texPart.empty(); // "v/" has nothing after its slash
    long long normal = 0;
    const std::string_view normalPart = rest.substr(slash2 + 1);
    return parseIndex(normalPart, normal) != IndexStatus::Malformed;
}

bool splitWords(std::string_view line, std::vector<std::string_view>& words, size_t maxWords)
{
    words.clear();
    size_t i = 0;
    const size_t n = line.size();
    while (true) {
        while (i < n && isBlank(line[i]))
            ++i;
        if (i >= n)
            return false;
        if (words.size() == maxWords)
            return true;
        const size_t start = i;
        while (i < n && !isBlank(line[i]))
            ++i;
        words.push_back(line.substr(start, i - start));
    }
}

} // namespace objtokens
