#include "io/obj_statements.h"

#include "io/obj_tokens.h"

#include <limits>

using objtokens::CornerToken;
using objtokens::IndexStatus;
using objtokens::NumberStatus;

namespace {

const char* const kUnreadable = "The file holds a statement that cannot be read.";
const char* const kNotFinite = "The file holds coordinates that are not finite numbers.";
const char* const kNoVertex = "The file holds faces that refer to vertices that do not exist.";
const char* const kNoTexcoord = "The file holds faces that refer to texture coordinates that do not exist.";
const char* const kMixed =
    "The file holds faces that give texture coordinates on some corners but not on others.";
const char* const kTooManyCorners = "The file holds a face with too many corners.";

// Counts are kept in 32 bits with all bits set reserved.
const unsigned long long kMaxCount = 4294967294ULL;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The largest positive index of a kind and the first line that names it;
// positive indices are checked against the final count once the file is read.
struct LargestIndex {
    size_t line = 0;
    long long written = 0;

    void note(long long index, size_t at)
    {
        if (index > written) {
            written = index;
            line = at;
        }
    }
};

class StatementReader {
public:
    StatementReader(ObjStatements& out, ObjProblem& problem) : out_(out), problem_(problem) {}

    bool readLine(std::string_view line, size_t number)
    {
        line_ = number;
        size_t i = 0;
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i >= line.size() || line[i] == '#')
            return true;
        if (line[i] == 'c')
            return readConeLine(line.substr(i + 1));
        size_t end = i;
        while (end < line.size() && !isBlank(line[end]))
            ++end;
        const std::string_view keyword = line.substr(i, end - i);
        const std::string_view rest = line.substr(end);
        if (keyword == "v")
            return readVertex(withoutComment(rest));
        if (keyword == "vt")
            return readTexcoord(withoutComment(rest));
        if (keyword == "f")
            return readFace(withoutComment(rest));
        if (keyword == "o" || keyword == "g") {
            if (facesInShape_ > 0) {
                ++shape_;
                facesInShape_ = 0;
            }
        }
        return true;
    }

    bool finish()
    {
        const unsigned long long nv = out_.positions.size() / 3, nt = out_.texcoords.size() / 2;
        const LargestIndex& v = largestVertex_;
        if (static_cast<unsigned long long>(v.written) > nv)
            return fail(kNoVertex, v.line,
                        "vertex " + std::to_string(v.written) + " is named, but the file has " + std::to_string(nv) +
                            " vertices.");
        const LargestIndex& t = largestTexcoord_;
        if (static_cast<unsigned long long>(t.written) > nt)
            return fail(kNoTexcoord, t.line,
                        "texture coordinate " + std::to_string(t.written) + " is named, but the file has " +
                            std::to_string(nt) + " texture coordinates.");
        if (coloredVertices_ != nv || nv == 0)
            out_.colors.clear();
        if (!anyTextured_)
            out_.texcoordOfCorner.clear();
        out_.shapeCount = out_.faces.empty() ? 0 : out_.faces.back().shape + 1;
        return true;
    }

private:
    static std::string_view withoutComment(std::string_view rest)
    {
        const size_t hash = rest.find('#');
        return hash == std::string_view::npos ? rest : rest.substr(0, hash);
    }

    bool fail(const char* reason, size_t line, const std::string& what)
    {
        problem_.reason = reason;
        problem_.detail = "Line " + std::to_string(line) + ": " + what;
        return false;
    }

    // Reads count numbers into values; false (with the problem set) on a
    // token that is not a finite number.
    bool readNumbers(const std::vector<std::string_view>& words, std::vector<double>& values)
    {
        values.clear();
        for (std::string_view w : words) {
            double x = 0.0;
            const NumberStatus status = objtokens::parseCoordinate(w, x);
            if (status == NumberStatus::NonFinite)
                return fail(kNotFinite, line_, "\"" + std::string(w) + "\" is not a finite number.");
            if (status == NumberStatus::Malformed)
                return fail(kUnreadable, line_, "\"" + std::string(w) + "\" is not a number.");
            values.push_back(x);
        }
        return true;
    }

    bool readVertex(std::string_view rest)
    {
        const bool more = objtokens::splitWords(rest, words_, 7);
        if (more || (words_.size() != 3 && words_.size() != 4 && words_.size() != 6))
            return fail(kUnreadable, line_,
                        "a vertex takes three coordinates, optionally followed by a weight or by three colour values.");
        if (!readNumbers(words_, numbers_))
            return false;
        if (out_.positions.size() / 3 >= kMaxCount)
            return fail(kUnreadable, line_, "the file holds more vertices than can be processed.");
        out_.positions.insert(out_.positions.end(), numbers_.begin(), numbers_.begin() + 3);
        // Colours count only while every vertex so far has them.
        if (numbers_.size() == 6 && coloredVertices_ == out_.positions.size() / 3 - 1) {
            out_.colors.insert(out_.colors.end(), numbers_.begin() + 3, numbers_.end());
            ++coloredVertices_;
        }
        return true;
    }

    bool readTexcoord(std::string_view rest)
    {
        const bool more = objtokens::splitWords(rest, words_, 3);
        if (more || words_.empty())
            return fail(kUnreadable, line_, "a texture coordinate takes one to three numbers.");
        if (!readNumbers(words_, numbers_))
            return false;
        if (out_.texcoords.size() / 2 >= kMaxCount)
            return fail(kUnreadable, line_, "the file holds more texture coordinates than can be processed.");
        out_.texcoords.push_back(numbers_[0]);
        out_.texcoords.push_back(numbers_.size() > 1 ? numbers_[1] : 0.0);
        return true;
    }

    // Resolves a written index against the count defined so far. Positive
    // indices may name elements defined later; they are checked in finish().
    bool resolve(const CornerToken& c, std::string_view token, bool texcoord, size_t defined, size_t corner,
                 uint32_t& index)
    {
        const IndexStatus status = texcoord ? c.texcoordStatus : c.vertexStatus;
        const long long written = texcoord ? c.texcoord : c.vertex;
        const char* reason = texcoord ? kNoTexcoord : kNoVertex;
        const std::string what = texcoord ? "texture coordinate" : "vertex";
        const std::string at = "corner " + std::to_string(corner + 1) + " names " + what + " ";
        if (status == IndexStatus::Overflow)
            return fail(reason, line_,
                        "corner " + std::to_string(corner + 1) + " (\"" + std::string(token) + "\") names a " + what +
                            " number too large to be read.");
        if (written == 0)
            return fail(reason, line_, at + "0; the numbering starts at 1.");
        if (written > 0) {
            if (static_cast<unsigned long long>(written) > kMaxCount)
                return fail(reason, line_, at + std::to_string(written) + ", beyond what can be processed.");
            (texcoord ? largestTexcoord_ : largestVertex_).note(written, line_);
            index = static_cast<uint32_t>(written - 1);
            return true;
        }
        // Relative: -1 is the last one defined before this line.
        if (written < -static_cast<long long>(defined))
            return fail(reason, line_, at + std::to_string(written) + ", but only " + std::to_string(defined) +
                                           " are defined before this line.");
        index = static_cast<uint32_t>(static_cast<long long>(defined) + written);
        return true;
    }

    bool readFace(std::string_view rest)
    {
        const bool more = objtokens::splitWords(rest, words_, kMaxFaceCorners);
        if (more)
            return fail(kTooManyCorners, line_,
                        "a face may have at most " + std::to_string(kMaxFaceCorners) + " corners.");
        if (words_.size() < 3) {
            if (out_.shortFaces++ == 0)
                out_.firstShortFaceLine = line_;
            return true;
        }
        ObjFace face;
        face.line = line_;
        face.shape = shape_;
        face.firstCorner = out_.vertexOfCorner.size();
        face.cornerCount = words_.size();
        const size_t nv = out_.positions.size() / 3, nt = out_.texcoords.size() / 2;
        for (size_t k = 0; k < words_.size(); ++k) {
            CornerToken corner;
            if (!objtokens::parseCorner(words_[k], corner))
                return fail(kUnreadable, line_, "\"" + std::string(words_[k]) + "\" is not a face corner.");
            uint32_t v = 0, t = std::numeric_limits<uint32_t>::max();
            if (!resolve(corner, words_[k], false, nv, k, v))
                return false;
            if (corner.hasTexcoord && !resolve(corner, words_[k], true, nt, k, t))
                return false;
            const bool first = out_.faces.empty() && k == 0;
            if (first)
                anyTextured_ = corner.hasTexcoord;
            else if (corner.hasTexcoord != anyTextured_)
                return fail(kMixed, line_,
                            "corner " + std::to_string(k + 1) +
                                (corner.hasTexcoord ? " gives a texture coordinate, earlier corners do not."
                                                    : " gives no texture coordinate, earlier corners do."));
            out_.vertexOfCorner.push_back(v);
            out_.texcoordOfCorner.push_back(t);
        }
        out_.faces.push_back(face);
        ++facesInShape_;
        return true;
    }

    // "c N": a cone singularity; anything else after the c (a curve
    // statement, for example) is not one and is skipped.
    bool readConeLine(std::string_view rest)
    {
        size_t i = 0;
        while (i < rest.size() && isBlank(rest[i]))
            ++i;
        size_t end = i;
        if (end < rest.size() && (rest[end] == '+' || rest[end] == '-'))
            ++end;
        const size_t digits = end;
        while (end < rest.size() && isDigit(rest[end]))
            ++end;
        if (end == digits)
            return true;
        long long number = 0;
        if (objtokens::parseIndex(rest.substr(i, end - i), number) == IndexStatus::Overflow)
            number = std::numeric_limits<long long>::max();
        out_.cones.push_back({line_, number});
        return true;
    }

    ObjStatements& out_;
    ObjProblem& problem_;
    size_t line_ = 0;
    size_t shape_ = 0;
    size_t facesInShape_ = 0;
    size_t coloredVertices_ = 0;
    bool anyTextured_ = false;
    LargestIndex largestVertex_, largestTexcoord_;
    std::vector<std::string_view> words_;
    std::vector<double> numbers_;
};

} // namespace

bool readObjStatements(std::string_view text, ObjStatements& out, ObjProblem& problem)
{
    out = ObjStatements();
    problem = ObjProblem();
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    StatementReader reader(out, problem);
    size_t number = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        if (!reader.readLine(text.substr(start, end - start), ++number)) {
            out = ObjStatements();
            return false;
        }
        start = end + 1;
    }
    if (!reader.finish()) {
        out = ObjStatements();
        return false;
    }
    return true;
}
