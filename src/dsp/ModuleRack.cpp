#include "dsp/ModuleRack.h"

#include "dsp/DspModule.h"

void ModuleRack::registerModule(DspModule* module) {
    if (moduleCount >= kMaxModules) return;
    modules[moduleCount] = module;
    runners[moduleCount] = module;
    tags[moduleCount] = module->moduleTag();
    ++moduleCount;
}

void ModuleRack::setSampleRate(int32_t rate) {
    for (int i = 0; i < moduleCount; ++i) modules[i]->setSampleRate(rate);
}

void ModuleRack::onParameter(int32_t index, float value) {
    for (int i = 0; i < moduleCount; ++i) modules[i]->onParameter(index, value);
}

void ModuleRack::run(int32_t frames, int32_t tick) {
    for (int i = 0; i < moduleCount; ++i)
        if (DspModule* m = runners[i]) m->process(frames, tick);
}

void ModuleRack::runInstead(const DspModule* module, DspModule* runner) {
    for (int i = 0; i < moduleCount; ++i)
        if (modules[i] == module) runners[i] = runner;
}
