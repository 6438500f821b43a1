#pragma once

#include <fstream>
#include <string>

// Flushes a result file and reports a write that did not complete (a full
// disk, for example) with "Unable to write file NAME completely.". Returns
// false in that case.
bool finishOutputFile(std::ofstream& out, const std::string& filename);
