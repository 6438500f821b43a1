#include "app/command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <sstream>

namespace {

// A plain decimal number in [low, high], a whole one when asked.
bool parseNumber(const std::string& text, double low, double high, bool whole, double& out, std::string& why)
{
    size_t used = 0;
    double value = 0.0;
    try {
        value = std::stod(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (text.empty() || used != text.size() || !std::isfinite(value) || (whole && value != std::floor(value))) {
        why = whole ? "expected a whole number." : "expected a number.";
        return false;
    }
    if (value < low || value > high) {
        std::ostringstream range;
        range << "expected a value from " << low << " to " << high << ".";
        why = range.str();
        return false;
    }
    out = value;
    return true;
}

// One option of the command line. An option with a value name takes the next
// argument as its value; apply returns false with a reason for a bad value.
struct OptionRow {
    const char* name;
    const char* valueName; // nullptr for a flag
    const char* help;
    std::function<bool(CommandLine& cl, const std::string& value, std::string& why)> apply;
};

// More threads than this would only cost memory (every thread of the
// empty-space search holds its own grids of a few MiB) and gain nothing.
constexpr unsigned long MaxThreadOption = 64;

const std::vector<OptionRow>& options()
{
    static const std::vector<OptionRow> table = {
        {"--batchmode", nullptr, "run the batch sequence and exit instead of opening the window",
         [](CommandLine& cl, const std::string&, std::string&) { return cl.batchMode = true; }},
        {"--square", nullptr, "measure the atlas as a square rather than a free rectangle",
         [](CommandLine& cl, const std::string&, std::string&) { return cl.square = true; }},
        {"--help", nullptr, "print this text and exit",
         [](CommandLine& cl, const std::string&, std::string&) { return cl.showHelp = true; }},
        // Batch runs for asset pipelines.
        {"--output", "DIR", "write the result files into DIR, created when missing (default: working folder)",
         [](CommandLine& cl, const std::string& value, std::string& why) {
             if (value.empty()) {
                 why = "the folder name is empty.";
                 return false;
             }
             cl.outputDir = value;
             return true;
         }},
        {"--cones", "FILE", "read cone vertices (1-based numbers, one per line, # comments) from FILE",
         [](CommandLine& cl, const std::string& value, std::string& why) {
             if (value.empty()) {
                 why = "the file name is empty.";
                 return false;
             }
             cl.coneFile = value;
             return true;
         }},
        {"--format", "obj|glb", "glb writes NAME.glb beside every NAME.obj (default: glb for glTF input)",
         [](CommandLine& cl, const std::string& value, std::string& why) {
             if (value != "obj" && value != "glb") {
                 why = "expected obj or glb.";
                 return false;
             }
             cl.meshFormat = value;
             return true;
         }},
        {"--texture", "FILE", "PNG or JPEG texture of the input layout, resampled into every written layout",
         [](CommandLine& cl, const std::string& value, std::string& why) {
             if (value.empty()) {
                 why = "the file name is empty.";
                 return false;
             }
             cl.textureFile = value;
             return true;
         }},
        {"--pot", nullptr, "round texture sides up to powers of two (default: multiples of 4)",
         [](CommandLine& cl, const std::string&, std::string&) { return cl.powerOfTwo = true; }},
        {"--texel-scale", "S", "texels per unit of surface area, relative to the input texture (default 1)",
         [](CommandLine& cl, const std::string& value, std::string& why) {
             const char* text = value.c_str();
             char* end = nullptr;
             errno = 0;
             const double s = std::strtod(text, &end);
             if (value.empty() || end != text + value.size() || errno != 0 || !std::isfinite(s) || !(s > 0.0) ||
                 s > 64.0) {
                 why = "expected a number above 0 and at most 64.";
                 return false;
             }
             cl.texelScale = s;
             return true;
         }},
        {"--padding", "P", "keep charts P texels apart in every packed layout (default: 0)",
         [](CommandLine& cl, const std::string& value, std::string& why) {
             return parseNumber(value, 0.0, 1e6, false, cl.padding, why);
         }},
        {"--resolution", "R", "texture size in texels that --padding refers to (default: 1024)",
         [](CommandLine& cl, const std::string& value, std::string& why) {
             return parseNumber(value, 1.0, 1e6, true, cl.resolution, why);
         }},
        {"--threads", "N", "run the refinement's trials on N threads; the results do not depend on N (default: one per hardware thread)",
         [](CommandLine& cl, const std::string& value, std::string& why) {
             // Digits only: no sign, no blanks, no exponent.
             const bool digits = !value.empty() && value.size() <= 4 &&
                                 value.find_first_not_of("0123456789") == std::string::npos;
             const unsigned long n = digits ? std::stoul(value) : 0;
             if (n < 1 || n > MaxThreadOption) {
                 why = "expected a whole number from 1 to " + std::to_string(MaxThreadOption) + ".";
                 return false;
             }
             cl.threads = static_cast<unsigned>(n);
             return true;
         }},
    };
    return table;
}

const OptionRow* findOption(const std::string& arg)
{
    for (const OptionRow& row : options()) {
        if (arg == row.name)
            return &row;
    }
    return nullptr;
}

} // namespace

namespace {

// Applies the arguments from index first on; the first argument that is not an
// option (or an option's value) becomes the model file unless one is known.
void applyArguments(const std::vector<std::string>& args, size_t first, CommandLine& cl, bool haveModel)
{
    for (size_t i = first; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool looksLikeOption = arg.rfind("--", 0) == 0;
        const OptionRow* row = findOption(arg);
        if (!row) {
            if (!haveModel && !looksLikeOption) {
                cl.modelFile = arg;
                haveModel = true;
            } else {
                cl.warnings.push_back((looksLikeOption ? "Ignoring unknown option " : "Ignoring extra argument ") +
                                      arg + ".");
            }
            continue;
        }
        std::string value;
        if (row->valueName) {
            if (i + 1 >= args.size()) {
                cl.error = std::string("Option ") + row->name + " needs a value (" + row->valueName + ").";
                return;
            }
            value = args[++i];
        }
        std::string why;
        if (!row->apply(cl, value, why)) {
            cl.error = std::string("Invalid value '") + value + "' for " + row->name + ": " + why;
            return;
        }
    }
}

} // namespace

namespace {

// The gutter must leave room for the charts: at most a quarter of the texture.
void checkPadding(CommandLine& cl)
{
    if (cl.error.empty() && cl.padding * 4.0 > cl.resolution) {
        std::ostringstream why;
        why << "Invalid padding " << cl.padding << " for resolution " << cl.resolution
            << ": the padding may be at most a quarter of the resolution.";
        cl.error = why.str();
    }
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::string>& args)
{
    CommandLine cl;
    if (args.size() < 2) {
        cl.showUsage = true;
        return cl;
    }
    applyArguments(args, 1, cl, false);
    if (cl.modelFile.empty() && !cl.showHelp && cl.error.empty()) {
        // Every argument was an option: the first one names the model, as it
        // always has ("tarnwick --batchmode" loads a file of that name).
        cl = CommandLine();
        cl.modelFile = args[1];
        applyArguments(args, 2, cl, true);
    }
    checkPadding(cl);
    return cl;
}

std::string usageText(const std::string& programPath)
{
    return "Usage:\n" + programPath + " <model-file-obj> [--batchmode] [--square]\n";
}

std::string helpText(const std::string& programPath)
{
    std::ostringstream out;
    out << usageText(programPath) << "\nOptions (before or after the model file):\n";
    for (const OptionRow& row : options()) {
        std::string left = std::string("  ") + row.name;
        if (row.valueName)
            left += std::string(" ") + row.valueName;
        out << left;
        for (size_t n = left.size(); n < 26; ++n)
            out << ' ';
        out << " " << row.help << "\n";
    }
    return out.str();
}
