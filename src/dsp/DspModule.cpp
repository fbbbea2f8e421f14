#include "dsp/DspModule.h"

#include "dsp/ModuleRack.h"

DspModule::DspModule(ModuleRack& rack, ModuleContext& moduleContext) : context(moduleContext) {
    rack.registerModule(this);
}
