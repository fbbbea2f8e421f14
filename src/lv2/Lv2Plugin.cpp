#include "lv2/Lv2Plugin.h"

#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/time/time.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

const void* feature(const LV2_Feature* const* features, const char* uri) {
    for (; features && *features; ++features)
        if (std::strcmp((*features)->URI, uri) == 0) return (*features)->data;
    return nullptr;
}

// A number of any of the atom number types the host may use.
bool numberOf(const LV2_Atom* atom, LV2_URID intType, LV2_URID longType, LV2_URID floatType, LV2_URID doubleType,
              double& out) {
    if (!atom) return false;
    double v;
    if (atom->type == intType && atom->size >= sizeof(int32_t))
        v = reinterpret_cast<const LV2_Atom_Int*>(atom)->body;
    else if (atom->type == longType && atom->size >= sizeof(int64_t))
        v = static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(atom)->body);
    else if (atom->type == floatType && atom->size >= sizeof(float))
        v = reinterpret_cast<const LV2_Atom_Float*>(atom)->body;
    else if (atom->type == doubleType && atom->size >= sizeof(double))
        v = reinterpret_cast<const LV2_Atom_Double*>(atom)->body;
    else
        return false;
    if (!std::isfinite(v)) return false;
    out = v;
    return true;
}

Lv2Plugin* self(LV2_Handle handle) { return static_cast<Lv2Plugin*>(handle); }

// Saving and restoring build paths and text: an allocation that fails there fails the
// call, never the host.
LV2_State_Status saveState(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state, uint32_t,
                           const LV2_Feature* const* features) {
    try {
        return self(handle)->save(store, state, features);
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

LV2_State_Status restoreState(LV2_Handle handle, LV2_State_Retrieve_Function retrieve, LV2_State_Handle state, uint32_t,
                              const LV2_Feature* const* features) {
    try {
        return self(handle)->restore(retrieve, state, features);
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

const LV2_State_Interface kStateInterface{saveState, restoreState};

}  // namespace

LV2_Descriptor Lv2Plugin::descriptor(const char* uri, Instantiate instantiate) {
    return LV2_Descriptor{
        uri,
        instantiate,
        [](LV2_Handle h, uint32_t port, void* data) { self(h)->connect(port, data); },
        [](LV2_Handle h) { self(h)->activate(); },
        [](LV2_Handle h, uint32_t frames) { self(h)->run(frames); },
        [](LV2_Handle h) { self(h)->deactivate(); },
        [](LV2_Handle h) { delete self(h); },
        [](const char* extension) -> const void* {
            return std::strcmp(extension, LV2_STATE__interface) == 0 ? &kStateInterface : nullptr;
        },
    };
}

Lv2Plugin::Lv2Plugin(const Lv2PortLayout& portLayout, double sampleRate, const char* pluginUri,
                     const LV2_Feature* const* features)
    : layout(portLayout), rate(sampleRate) {
    std::snprintf(keyPrefix, sizeof keyPrefix, "%s#", pluginUri);
    map = static_cast<LV2_URID_Map*>(const_cast<void*>(feature(features, LV2_URID__map)));
    if (!map) return;
    uris.atomChunk = mapUri(LV2_ATOM__Chunk);
    uris.atomBlank = mapUri(LV2_ATOM__Blank);
    uris.atomObject = mapUri(LV2_ATOM__Object);
    uris.atomInt = mapUri(LV2_ATOM__Int);
    uris.atomLong = mapUri(LV2_ATOM__Long);
    uris.atomFloat = mapUri(LV2_ATOM__Float);
    uris.atomDouble = mapUri(LV2_ATOM__Double);
    uris.midiEvent = mapUri(LV2_MIDI__MidiEvent);
    uris.timePosition = mapUri(LV2_TIME__Position);
    uris.timeBar = mapUri(LV2_TIME__bar);
    uris.timeBarBeat = mapUri(LV2_TIME__barBeat);
    uris.timeBeat = mapUri(LV2_TIME__beat);
    uris.timeBeatUnit = mapUri(LV2_TIME__beatUnit);
    uris.timeBeatsPerBar = mapUri(LV2_TIME__beatsPerBar);
    uris.timeBeatsPerMinute = mapUri(LV2_TIME__beatsPerMinute);
    uris.timeSpeed = mapUri(LV2_TIME__speed);
    uris.timeFrame = mapUri(LV2_TIME__frame);
}

Lv2Plugin::~Lv2Plugin() {
    if (record) record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
}

LV2_Handle Lv2Plugin::start(Lv2Plugin* instance, Make make) {
    try {
        if (instance && instance->ready()) {
            if (AudioEffectX* plugin = make(&hostCallback)) {
                instance->record = plugin->getAeffect();
                instance->record->user = instance;
                instance->record->dispatcher(instance->record, effSetSampleRate, 0, 0, nullptr,
                                             static_cast<float>(instance->rate));
                return instance;
            }
        }
    } catch (...) {
        // An allocation failed while building the plug-in: no instance, as without memory.
    }
    delete instance;
    return nullptr;
}

LV2_URID Lv2Plugin::stateKey(const char* suffix) const {
    char uri[160];
    std::snprintf(uri, sizeof uri, "%s%s", keyPrefix, suffix);
    return mapUri(uri);
}

intptr_t Lv2Plugin::hostCallback(AEffect* record, int32_t opcode, int32_t index, intptr_t, void*, float opt) {
    if (opcode == audioMasterVersion) return 2400;
    auto* self = record ? static_cast<Lv2Plugin*>(record->user) : nullptr;
    if (!self) return 0;
    switch (opcode) {
        case audioMasterGetTime:
            return self->haveTime ? reinterpret_cast<intptr_t>(&self->timeInfo) : 0;
        case audioMasterAutomate:
            // Any thread (the editor, or MIDI controllers on the audio thread): the UI
            // passes the change on to the host at its next idle.
            if (index >= 0 && index < self->layout.controls && index < 64) {
                self->automatedValues[index].store(opt, std::memory_order_relaxed);
                self->automated.fetch_or(uint64_t{1} << index, std::memory_order_release);
            }
            return 1;
        case audioMasterWantMidi:
            return 1;
        case audioMasterGetSampleRate:
            return static_cast<intptr_t>(self->rate);
        default:
            return 0;
    }
}

void Lv2Plugin::connect(uint32_t port, void* data) {
    const auto p = static_cast<int32_t>(port);
    if (p < layout.controls) {
        if (p < kMaxControls) controls[p] = static_cast<const float*>(data);
    } else if (layout.events && p == layout.eventPort()) {
        eventPort = static_cast<const LV2_Atom_Sequence*>(data);
    } else if (p < layout.firstOutput()) {
        if (p - layout.firstInput() < kMaxAudio) inputs[p - layout.firstInput()] = static_cast<float*>(data);
    } else if (p < layout.firstExtra()) {
        if (p - layout.firstOutput() < kMaxAudio) outputs[p - layout.firstOutput()] = static_cast<float*>(data);
    } else if (p < layout.count() && p - layout.firstExtra() < kMaxExtras) {
        extras[p - layout.firstExtra()] = static_cast<const float*>(data);
    }
}

void Lv2Plugin::activate() { record->dispatcher(record, effMainsChanged, 0, 1, nullptr, 0.0f); }

void Lv2Plugin::deactivate() { record->dispatcher(record, effMainsChanged, 0, 0, nullptr, 0.0f); }

void Lv2Plugin::run(uint32_t frames) {
    // A control port moves its parameter only when the host changed it, so programs and
    // state restored inside the plug-in are not overwritten by stale port values.
    for (int32_t i = 0; i < layout.controls && i < kMaxControls; ++i) {
        if (!controls[i]) continue;
        const float value = *controls[i];
        const auto bits = std::bit_cast<uint32_t>(value);
        if (applied[i] && bits == appliedBits[i]) continue;
        applied[i] = true;
        appliedBits[i] = bits;
        record->setParameter(record, i, value);
    }
    readEvents(frames);
    int32_t nextEvent = 0;
    const auto total = static_cast<int32_t>(std::min<uint32_t>(frames, INT32_MAX));
    const int32_t limit = std::max(1, blockLimit(extras));
    for (int32_t offset = 0; offset < total;) {
        const int32_t piece = std::min(limit, total - offset);
        processPiece(offset, piece, nextEvent);
        offset += piece;
    }
    advanceTime(frames);
}

void Lv2Plugin::processPiece(int32_t offset, int32_t frames, int32_t& nextEvent) {
    float* in[kMaxAudio] = {};
    float* out[kMaxAudio] = {};
    for (int32_t c = 0; c < kMaxAudio; ++c) {
        in[c] = inputs[c] ? inputs[c] + offset : nullptr;
        out[c] = outputs[c] ? outputs[c] + offset : nullptr;
    }
    // The events of this piece, with frames counted from its start.
    eventList.numEvents = 0;
    while (nextEvent < midiCount && midiEvents[nextEvent].deltaFrames < offset + frames) {
        midiEvents[nextEvent].deltaFrames -= offset;
        eventList.events[eventList.numEvents++] = reinterpret_cast<VstEvent*>(&midiEvents[nextEvent++]);
    }
    static_assert(offsetof(EventStorage, events) == offsetof(VstEvents, events), "event list layout");
    beforeProcess(extras, in, frames);
    record->dispatcher(record, effProcessEvents, 0, 0, &eventList, 0.0f);
    record->processReplacing(record, in, out, frames);
}

void Lv2Plugin::readEvents(uint32_t frames) {
    midiCount = 0;
    if (!eventPort) return;
    LV2_ATOM_SEQUENCE_FOREACH(eventPort, event) {
        const LV2_Atom& body = event->body;
        if (body.type == uris.midiEvent) {
            if (midiCount == kMaxEvents || body.size == 0 || body.size > 3) continue;
            const auto* bytes = static_cast<const uint8_t*>(LV2_ATOM_BODY_CONST(&body));
            VstMidiEvent& midi = midiEvents[midiCount++];
            midi = VstMidiEvent{};
            midi.type = kVstMidiType;
            midi.byteSize = sizeof midi;
            const int64_t at = event->time.frames;
            midi.deltaFrames = static_cast<int32_t>(std::clamp<int64_t>(at, 0, frames ? frames - 1 : 0));
            for (uint32_t i = 0; i < body.size; ++i) midi.midiData[i] = static_cast<char>(bytes[i]);
        } else if (body.type == uris.atomObject || body.type == uris.atomBlank) {
            const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&body);
            if (object->body.otype == uris.timePosition) readPosition(object);
        }
    }
    // The driver takes events in frame order; a sequence is ordered already unless the
    // host broke the rule. Insertion sort: nothing allocated on the audio thread.
    for (int32_t i = 1; i < midiCount; ++i)
        for (int32_t j = i; j > 0 && midiEvents[j].deltaFrames < midiEvents[j - 1].deltaFrames; --j)
            std::swap(midiEvents[j], midiEvents[j - 1]);
}

void Lv2Plugin::readPosition(const LV2_Atom_Object* position) {
    const LV2_Atom *bar = nullptr, *barBeat = nullptr, *beat = nullptr, *unit = nullptr, *perBar = nullptr,
                   *bpm = nullptr, *speed = nullptr, *frame = nullptr;
    lv2_atom_object_get(position, uris.timeBar, &bar, uris.timeBarBeat, &barBeat, uris.timeBeat, &beat,
                        uris.timeBeatUnit, &unit, uris.timeBeatsPerBar, &perBar, uris.timeBeatsPerMinute, &bpm,
                        uris.timeSpeed, &speed, uris.timeFrame, &frame, 0);
    auto number = [&](const LV2_Atom* atom, double& out) {
        return numberOf(atom, uris.atomInt, uris.atomLong, uris.atomFloat, uris.atomDouble, out);
    };
    double value = 0.0;
    if (number(unit, value) && value >= 1.0) beatUnit = value;
    const double quarters = 4.0 / beatUnit;
    if (number(bpm, value)) {
        timeInfo.tempo = value;
        timeInfo.flags |= kVstTempoValid;
        haveTime = true;
    }
    double beats = 0.0, perBarValue = 0.0, barValue = 0.0;
    if (number(beat, beats)) {
        timeInfo.ppqPos = beats * quarters;
        timeInfo.flags |= kVstPpqPosValid;
        haveTime = true;
    } else if (number(bar, barValue) && number(barBeat, beats) && number(perBar, perBarValue)) {
        timeInfo.ppqPos = (barValue * perBarValue + beats) * quarters;
        timeInfo.flags |= kVstPpqPosValid;
        haveTime = true;
    }
    if (number(frame, value)) timeInfo.samplePos = value;
    if (number(speed, value)) {
        if (value != 0.0)
            timeInfo.flags |= kVstTransportPlaying;
        else
            timeInfo.flags &= ~kVstTransportPlaying;
    }
    timeInfo.sampleRate = rate;
}

// The host sends a position when it changes; between two, a playing transport moves
// on by the block.
void Lv2Plugin::advanceTime(uint32_t frames) {
    if (!haveTime || !(timeInfo.flags & kVstTransportPlaying)) return;
    timeInfo.samplePos += frames;
    timeInfo.ppqPos += static_cast<double>(frames) / rate * timeInfo.tempo / 60.0 * (4.0 / beatUnit);
}

LV2_State_Status Lv2Plugin::save(LV2_State_Store_Function store, LV2_State_Handle handle,
                                 const LV2_Feature* const* features) {
    void* data = nullptr;
    const auto size = static_cast<int32_t>(record->dispatcher(record, effGetChunk, 0, 0, &data, 0.0f));
    if (size > 0 && data) {
        const LV2_State_Status status = store(handle, stateKey("bank"), data, static_cast<size_t>(size), uris.atomChunk,
                                              LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
        if (status != LV2_STATE_SUCCESS) return status;
    }
    return saveExtra(store, handle, static_cast<const LV2_State_Map_Path*>(feature(features, LV2_STATE__mapPath)));
}

LV2_State_Status Lv2Plugin::restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                                    const LV2_Feature* const* features) {
    size_t size = 0;
    uint32_t type = 0;
    uint32_t flags = 0;
    const void* data = retrieve(handle, stateKey("bank"), &size, &type, &flags);
    // A plug-in that saves no chunk has nothing to restore here.
    if (!data || size == 0) return LV2_STATE_SUCCESS;
    if (type != uris.atomChunk || size > INT32_MAX) return LV2_STATE_ERR_BAD_TYPE;
    restoreChunk(data, static_cast<uint32_t>(size), retrieve, handle,
                 static_cast<const LV2_State_Map_Path*>(feature(features, LV2_STATE__mapPath)));
    return LV2_STATE_SUCCESS;
}

void Lv2Plugin::restoreChunk(const void* data, uint32_t size, LV2_State_Retrieve_Function, LV2_State_Handle,
                             const LV2_State_Map_Path*) {
    record->dispatcher(record, effSetChunk, 0, static_cast<intptr_t>(size), const_cast<void*>(data), 0.0f);
}
