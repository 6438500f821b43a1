#include "app/command_line.h"
#include "app/last_chance.h"
#include "app/pipeline.h"
#include "model/settings.h"

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    installLastChanceHandlers();

    const CommandLine cl = parseCommandLine(std::vector<std::string>(argv, argv + argc));
    if (cl.showUsage) {
        std::cout << usageText(argc > 0 ? argv[0] : "tarnwick") << std::flush;
        return 0;
    }
    if (cl.square)
        atlasAspectRatio = 1.0;

    if (!cl.batchMode) {
        std::cout << "Interactive mode is not available in this build; use --batchmode." << std::endl;
        return 1;
    }
    Pipeline pipeline;
    pipeline.setBatchMode(true);
    pipeline.loadModelFromFile(cl.modelFile, true);
    const int status = runBatchPipeline(pipeline);
    std::cout.flush();
    std::exit(status);
}
