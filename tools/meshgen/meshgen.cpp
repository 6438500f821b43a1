// Placeholder until the generators land.
#include "meshgen/meshgen.h"
