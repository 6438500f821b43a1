#include "base/file_output.h"

#include <iostream>

bool finishOutputFile(std::ofstream& out, const std::string& filename)
{
    out.flush();
    if (!out) {
        std::cout << "Unable to write file " << filename << " completely." << std::endl;
        return false;
    }
    return true;
}
