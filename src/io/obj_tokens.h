#pragma once

#include <string_view>
#include <vector>

// The words of OBJ statements: coordinates, indices and face corners, read
// exactly as written. Nothing here guesses: a token that is not what it must
// be is reported as such.
namespace objtokens {

enum class NumberStatus {
    Ok,         // a finite double (values too small for a double read as zero)
    Malformed,  // not a decimal number
    NonFinite   // nan, inf, or a magnitude beyond the range of a double
};

// Reads a decimal floating-point token (an optional sign, digits, a fraction,
// an exponent) to the nearest double.
NumberStatus parseCoordinate(std::string_view token, double& value);

enum class IndexStatus {
    Ok,
    Malformed,  // not an optionally signed integer
    Overflow    // an integer beyond 64 bits
};

// Reads a 1-based or relative (negative) OBJ index as written.
IndexStatus parseIndex(std::string_view token, long long& value);

// One corner of a face statement: "v", "v/t", "v//n" or "v/t/n". The normal
// index is checked for form only.
struct CornerToken {
    long long vertex = 0;
    bool hasTexcoord = false;
    long long texcoord = 0;
    IndexStatus vertexStatus = IndexStatus::Ok;
    IndexStatus texcoordStatus = IndexStatus::Ok;
};

// False when the token does not have one of the corner forms, or an index in
// it is malformed; an index that overflows is reported in its status instead.
bool parseCorner(std::string_view token, CornerToken& corner);

// Splits a line into its blank-separated words (blanks: space, tab, carriage
// return, vertical tab, form feed). Stops after maxWords words; the return
// value tells whether more followed.
bool splitWords(std::string_view line, std::vector<std::string_view>& words, size_t maxWords);

} // namespace objtokens
