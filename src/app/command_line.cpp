#include "app/command_line.h"

CommandLine parseCommandLine(const std::vector<std::string>& args)
{
    CommandLine cl;
    if (args.size() < 2) {
        cl.showUsage = true;
        return cl;
    }
    cl.modelFile = args[1];
    for (size_t i = 2; i < args.size(); ++i) {
        if (args[i] == "--batchmode")
            cl.batchMode = true;
        else if (args[i] == "--square")
            cl.square = true;
    }
    return cl;
}

std::string usageText(const std::string& programPath)
{
    return "Usage:\n" + programPath + " <model-file-obj> [--batchmode] [--square]\n";
}
