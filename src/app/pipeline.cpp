#include "app/pipeline.h"
Pipeline::Pipeline() : atlas_(384, 384) {}
