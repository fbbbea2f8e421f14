#include "framework/PluginBase.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "dsp/DspModule.h"
#include "dsp/ExpTables.h"
#include "dsp/FloatingPointGuard.h"
#include "dsp/VectorLanes.h"
#include "platform/MessageBox.h"

PluginBase::PluginBase(audioMasterCallback host, int32_t numParams, const ParamDesc* table, const char* name,
                       const char* product, const char* vendor, std::string iniPath)
    : AudioEffectX(host, kNumPrograms, numParams),
      descriptors(table),
      ccMap(numParams, table,
            iniPath.empty() ? MidiCcMap::defaultFiles(name) : MidiCcMap::Files{std::move(iniPath), {}}) {
    copyString(effectName, name, sizeof effectName);
    copyString(productString, product, sizeof productString);
    copyString(vendorString, vendor, sizeof vendorString);
    moduleContext.sampleRate.store(48000, std::memory_order_relaxed);
    moduleContext.voiceActive = keys.active;
    moduleContext.random.seed(5);
    for (int i = 0; i < kNumEntries; ++i) parameters[i].fill(descriptors[i]);
    // Until a bank is loaded every program holds the descriptor defaults.
    for (Program& program : programs)
        for (int i = 0; i < kNumAutomatable; ++i)
            program.values[i].store(descriptors[i].defaultValue, std::memory_order_relaxed);
    for (int c = 0; c < 16; ++c) midiPrograms[c] = c;
    queue.clear();
    eventPosition = 0;
    curProgram = 0;
    applyCurrentProgram();
    ExpTables::fill();
    if (host) {
        setNumInputs(0);
        setNumOutputs(2);
        setFlag(effFlagsCanReplacing, true);
        setFlag(effFlagsHasVu | effFlagsHasClip, false);
        setFlag(effFlagsIsSynth, true);
        setFlag(effFlagsProgramChunks, true);
    }
    keys.zero();
}

PluginBase::~PluginBase() = default;

// ---- Parameters ----------------------------------------------------------------

void PluginBase::setParameter(int32_t index, float value) {
    if (index < 0 || index >= kNumEntries) return;
    if (!toParameterRange(value)) return;
    parameters[index].value.store(value, std::memory_order_relaxed);
    if (index < kNumAutomatable) programs[curProgram].values[index].store(value, std::memory_order_relaxed);
    if (editor) editor->setParameter(index, value);
    modules.onParameter(index, value);
}

float PluginBase::getParameter(int32_t index) {
    if (index < 0 || index >= kNumEntries) return 0.0f;
    return parameters[index].get();
}

void PluginBase::getParameterName(int32_t index, char* text) {
    copyString(text, index >= 0 && index < kNumAutomatable ? parameters[index].name : "", 32);
}

void PluginBase::getParameterLabel(int32_t index, char* text) {
    copyString(text, index >= 0 && index < kNumAutomatable ? parameters[index].label : "", 16);
}

void PluginBase::getParameterDisplay(int32_t index, char* text) {
    if (index >= 0 && index < kNumAutomatable)
        float2string(parameters[index].get(), text);
    else
        text[0] = 0;
}

int32_t PluginBase::findParameterIndex(const char* name) {
    if (name) {
        for (int i = 0; i < kNumEntries; ++i)
            if (strcasecmp(parameters[i].name, name) == 0) return i;
    }
    platform::showMessage("NotFound", name ? name : "");
    return -1;
}

Parameter* PluginBase::findParameter(const char* name) {
    int32_t index = findParameterIndex(name);
    return index < 0 ? nullptr : &parameters[index];
}

// ---- Programs ------------------------------------------------------------------

void PluginBase::setProgram(int32_t index) {
    if (index < 0 || index >= kNumPrograms) return;
    curProgram = index;
    applyCurrentProgram();
    // The host shows parameter values it read before; they all changed.
    updateDisplay();
}

void PluginBase::applyCurrentProgram() {
    for (int i = 0; i < kNumAutomatable; ++i)
        setParameter(i, programs[curProgram].values[i].load(std::memory_order_relaxed));
}

void PluginBase::setProgramName(char* name) { copyString(programs[curProgram].name, name, sizeof programs[0].name); }

void PluginBase::getProgramName(char* name) { copyString(name, programs[curProgram].name, kVstMaxProgNameLen); }

bool PluginBase::getProgramNameIndexed(int32_t, int32_t index, char* text) {
    if (index < 0 || index >= kNumPrograms) return false;
    copyString(text, programs[index].name, kVstMaxProgNameLen);
    return true;
}

bool PluginBase::copyProgram(int32_t destination) {
    if (destination < 0 || destination >= kNumPrograms) return false;
    Program& from = programs[curProgram.load()];
    Program& to = programs[destination];
    if (&from == &to) return true;
    copyString(to.name, from.name, sizeof to.name);
    for (int i = 0; i < kNumAutomatable; ++i)
        to.values[i].store(from.values[i].load(std::memory_order_relaxed), std::memory_order_relaxed);
    return true;
}

namespace {
void fillBasicProgram(MidiProgramName* name, int32_t index) {
    name->thisProgramIndex = index;
    copyString(name->name, "Basic", sizeof name->name);
    name->midiProgram = 0;
    name->midiBankMsb = -1;
    name->midiBankLsb = -1;
    name->reserved = 0;
    name->parentCategoryIndex = 0;
    name->flags = 0;
}
}  // namespace

int32_t PluginBase::getMidiProgramName(int32_t, MidiProgramName* name) {
    if (!name || name->thisProgramIndex < 0 || name->thisProgramIndex > 127) return 0;
    fillBasicProgram(name, name->thisProgramIndex);
    return 1;
}

int32_t PluginBase::getCurrentMidiProgram(int32_t channel, MidiProgramName* name) {
    if (channel < 0 || channel > 15 || !name) return -1;
    int32_t index = midiPrograms[channel];
    fillBasicProgram(name, index);
    return index;
}

int32_t PluginBase::getMidiProgramCategory(int32_t, MidiProgramCategory* category) {
    if (!category) return 0;
    copyString(category->name, "None", sizeof category->name);
    category->parentCategoryIndex = -1;
    category->flags = 0;
    return 1;
}

bool PluginBase::hasMidiProgramsChanged(int32_t) { return false; }

bool PluginBase::getMidiKeyName(int32_t, MidiKeyName* keyName) {
    if (keyName) {
        keyName->keyName[0] = 0;
        keyName->reserved = 0;
        keyName->flags = 0;
    }
    return false;
}

bool PluginBase::getEffectName(char* name) {
    copyString(name, effectName, kVstMaxEffectNameLen);
    return true;
}

bool PluginBase::getProductString(char* text) {
    copyString(text, productString, kVstMaxProductStrLen);
    return true;
}

bool PluginBase::getVendorString(char* text) {
    copyString(text, vendorString, kVstMaxVendorStrLen);
    return true;
}

// ---- Sample rate ---------------------------------------------------------------

PluginBase::DriverTiming PluginBase::DriverTiming::at(int32_t rate) {
    DriverTiming t;
    t.period = static_cast<int32_t>(static_cast<int64_t>(rate) * 256 / 500);
    t.blockLimit = t.period >> 8;
    if (t.blockLimit > kMaxFrames) t.blockLimit = kMaxFrames;
    if (t.blockLimit < 1) t.blockLimit = 1;
    return t;
}

void PluginBase::setSampleRate(float rate) {
    AudioEffectX::setSampleRate(rate);
    if (!(rate >= 1.0f) || rate > 1.0e7f) return;  // nonsense from a host changes nothing
    auto r = static_cast<int32_t>(std::lround(rate));
    // A new count even for the same rate: setting a rate restarts the control counter.
    uint64_t record = rateRecord.load(std::memory_order_relaxed);
    while (!rateRecord.compare_exchange_weak(record, ((record >> 32) + 1) << 32 | static_cast<uint32_t>(r),
                                             std::memory_order_relaxed))
        ;
    moduleContext.sampleRate.store(r, std::memory_order_relaxed);
    modules.setSampleRate(r);
}

void PluginBase::resume() {
    AudioEffectX::resume();
    gainsFresh.store(true, std::memory_order_relaxed);
}

// ---- Events --------------------------------------------------------------------

int32_t PluginBase::processEvents(VstEvents* events) {
    while (!queue.empty()) {
        dispatchEvent(queue.front());
        queue.pop();
    }
    queue.clear();
    eventPosition = 0;
    if (!events || events->numEvents <= 0) return 1;
    // The host's pointer array runs past the two entries the structure declares; index
    // it as the array it really is, not as the declared one.
    const auto* list =
        reinterpret_cast<VstEvent* const*>(reinterpret_cast<const char*>(events) + offsetof(VstEvents, events));
    for (int32_t i = 0; i < events->numEvents; ++i) {
        const VstEvent* event = list[i];
        if (!event || event->type != kVstMidiType) continue;
        queue.push(*reinterpret_cast<const VstMidiEvent*>(event));
    }
    return 1;
}

void PluginBase::dispatchEvent(const VstMidiEvent& event) {
    int status = static_cast<unsigned char>(event.midiData[0]) & 0xF0;
    int data1 = static_cast<unsigned char>(event.midiData[1]) & 0x7F;
    int data2 = static_cast<unsigned char>(event.midiData[2]) & 0x7F;
    switch (status) {
        case 0x90:
            if (data2 != 0) {
                keys.noteOn(data1, data2);
                break;
            }
            [[fallthrough]];
        case 0x80:
            keys.noteOff(data1);
            break;
        case 0xB0:
            dispatchController(static_cast<unsigned char>(event.midiData[1]), data2);
            break;
        case 0xE0:
            keys.pitchBend((data2 << 7) | data1);
            break;
        default:
            break;
    }
}

void PluginBase::dispatchController(int controller, int value) {
    ccMap.dispatch(controller, static_cast<float>(value) * 0.007874016f, *this);
    if (controller == 64) keys.sustainPedal(value);
    if (controller == 123 || controller == 126) keys.resetPitches();
}

// ---- Driver --------------------------------------------------------------------

void PluginBase::process(float**, float** outputs, int32_t frames) { runDriver(outputs, frames, false); }

void PluginBase::processReplacing(float**, float** outputs, int32_t frames) { runDriver(outputs, frames, true); }

void PluginBase::readHostTime() {
    const VstTimeInfo* time = getTimeInfo(kVstPpqPosValid | kVstTempoValid);
    int32_t rate = moduleContext.sampleRate.load(std::memory_order_relaxed);
    if (time) {
        double tempo = time->tempo;
        if (!std::isfinite(tempo) || tempo < 0.0) tempo = 0.0;
        if (tempo > 10000.0) tempo = 10000.0;
        double ppq = std::isfinite(time->ppqPos) ? time->ppqPos : 0.0;
        moduleContext.tempoFactor.store(static_cast<float>(tempo) * (1.0f / 30000.0f), std::memory_order_relaxed);
        moduleContext.tempoLength.store(static_cast<int32_t>(static_cast<long double>(rate) * tempo / 60.0L),
                                        std::memory_order_relaxed);
        moduleContext.quarterNotePosition.store(static_cast<float>(ppq), std::memory_order_relaxed);
    } else {
        moduleContext.tempoFactor.store(0.004f, std::memory_order_relaxed);
        moduleContext.tempoLength.store(static_cast<int32_t>(static_cast<float>(rate * 120) * 0.016666668f),
                                        std::memory_order_relaxed);
        moduleContext.quarterNotePosition.store(0.0f, std::memory_order_relaxed);
    }
}

void PluginBase::runDriver(float** outputs, int32_t frames, bool replacing) {
    if (!outputs || !outputs[0] || !outputs[1] || frames <= 0) return;
    float* left = outputs[0];
    float* right = outputs[1];
    const uint64_t record = rateRecord.load(std::memory_order_relaxed);
    if (record != takenRecord) {
        takenRecord = record;
        timing = DriverTiming::at(static_cast<int32_t>(record));
        counter = timing.period;
    }
    while (frames > 0) {
        readHostTime();
        int32_t m = frames < timing.blockLimit ? frames : timing.blockLimit;
        int32_t tick = counter <= 0 ? 1 : 0;
        {
            FloatingPointGuard guard;
            modules.run(m, tick);
            masterOutput(left, right, m, replacing);
        }
        left += m;
        right += m;
        keys.controlUpdate(tick);
        if (tick) counter += timing.period;
        counter -= m * 256;
        eventPosition += m;
        while (!queue.empty() && queue.front().deltaFrames <= eventPosition) {
            dispatchEvent(queue.front());
            queue.pop();
        }
        frames -= m;
    }
}

namespace {
// processReplacing writes the frame, process adds it to what the host's buffers hold.
inline void writeFrame(float* left, float* right, int32_t k, float l, float r, bool replacing) {
    if (replacing) {
        left[k] = l;
        right[k] = r;
    } else {
        left[k] += l;
        right[k] += r;
    }
}
}  // namespace

void PluginBase::masterOutput(float* left, float* right, int32_t frames, bool replacing) {
    const float* source = modules.output()->data;
    float g = parameters[ParamId("Volume").index].get() * 2.0f;
    float pan = parameters[ParamId("Pan").index].get();
    float leftGain = (1.0f - pan) * g;
    float rightGain = pan * g;
    if (gainsFresh.load(std::memory_order_relaxed) && gainsFresh.exchange(false, std::memory_order_relaxed)) {
        heardLeftGain = leftGain;
        heardRightGain = rightGain;
    }
    if (leftGain != heardLeftGain || rightGain != heardRightGain) {
        rampOutput(source, left, right, frames, replacing, leftGain, rightGain);
        return;
    }
    int32_t k = 0;
    using lanes::F4;
    using lanes::load;
    const F4 gains = {leftGain, rightGain, leftGain, rightGain};
    for (; k + 4 <= frames; k += 4) {
        const F4 a = load<F4>(source + 2 * k) * gains;      // L0 R0 L1 R1
        const F4 b = load<F4>(source + 2 * k + 4) * gains;  // L2 R2 L3 R3
        F4 l = __builtin_shufflevector(a, b, 0, 2, 4, 6);
        F4 r = __builtin_shufflevector(a, b, 1, 3, 5, 7);
        if (!replacing) {
            l = l + load<F4>(left + k);
            r = r + load<F4>(right + k);
        }
        lanes::store(left + k, l);
        lanes::store(right + k, r);
    }
    for (; k < frames; ++k)
        writeFrame(left, right, k, source[2 * k] * leftGain, source[2 * k + 1] * rightGain, replacing);
}

void PluginBase::rampOutput(const float* source, float* left, float* right, int32_t frames, bool replacing,
                            float leftGain, float rightGain) {
    // A jump of volume or pan (controller 7 from 0 to 104) in one sample is a click: the
    // gains move in even steps across the sub-block and reach the new values at its end.
    const float leftStep = (leftGain - heardLeftGain) / static_cast<float>(frames);
    const float rightStep = (rightGain - heardRightGain) / static_cast<float>(frames);
    for (int32_t k = 0; k < frames; ++k) {
        const float done = static_cast<float>(k + 1);
        const float l = source[2 * k] * (k + 1 == frames ? leftGain : heardLeftGain + leftStep * done);
        const float r = source[2 * k + 1] * (k + 1 == frames ? rightGain : heardRightGain + rightStep * done);
        writeFrame(left, right, k, l, r, replacing);
    }
    heardLeftGain = leftGain;
    heardRightGain = rightGain;
}
