// One stored program: a name and the values of the automatable parameters.
#pragma once

#include <atomic>

#include "framework/ParamDesc.h"

struct Program {
    char name[24] = "None";
    // Written by setParameter on any thread, read by chunk saving on another.
    std::atomic<float> values[kNumAutomatable] = {};
};
