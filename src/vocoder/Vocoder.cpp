#include "vocoder/Vocoder.h"

#include <algorithm>
#include <cmath>

#include "vocoder/VocoderMix.h"

namespace {

// The modulator buffer lengths BufSize offers, as fractions of one beat.
constexpr float kNoteFractions[10] = {1.0f / 32.0f, 1.0f / 24.0f, 1.0f / 16.0f, 1.0f / 12.0f, 1.0f / 8.0f,
                                      1.0f / 6.0f,  1.0f / 4.0f,  1.0f / 3.0f,  1.0f / 2.0f,  1.0f};

// The buffer length, freeze switch and modulator source of the last band design in the
// whole process, shared by every instance: a design that finds them changed restarts
// its modulator buffer. Packed into one word (21 + 1 + 3 bits) so that reading and
// replacing the three is a single atomic step; the initial value matches no settings,
// so the first design always restarts.
std::atomic<uint32_t> restartRecord{0xFFFFFFFFu};

float level(const ParamValue* p) {
    const float v = readParam(p);
    return v > 0.0f ? std::min(v, 1.0f) : 0.0f;  // NaN reads as 0
}

// A stepped parameter as trunc(v x (steps - 1) + 0.5).
int32_t step(const ParamValue* p, int32_t steps) {
    return static_cast<int32_t>(level(p) * static_cast<float>(steps - 1) + 0.5f);
}

}  // namespace

Vocoder::Vocoder(ModuleRack& rack, ModuleContext& moduleContext)
    : DspModule(rack, moduleContext), modulatorBuffer(std::make_unique<float[]>(kModulatorBufferSize)) {
    sampleRate.store(moduleContext.sampleRate.load(std::memory_order_relaxed), std::memory_order_relaxed);
    onParameter(0, 0.0f);
}

Vocoder::~Vocoder() = default;

void Vocoder::setSampleRate(int32_t rate) {
    DspModule::setSampleRate(rate);
    files.reload(rate);
    // The bands and the bin curve depend on the rate: design them anew for it.
    designStale.store(true, std::memory_order_release);
}

void Vocoder::onParameter(int32_t, float) { designStale.store(true, std::memory_order_release); }

void Vocoder::setFile(int slot, const char* path) { files.setFile(slot, path, rate()); }

int32_t Vocoder::computeBufferLength() const {
    const float beat = static_cast<float>(context.tempoLength.load(std::memory_order_relaxed));
    const float length = std::trunc(beat * kNoteFractions[step(bufSize, 10)]);
    // Held within the modulator buffer, and at least one sample long.
    if (!(length >= 1.0f)) return 1;
    if (length >= static_cast<float>(kModulatorBufferSize)) return kModulatorBufferSize;
    return static_cast<int32_t>(length);
}

void Vocoder::redesign() {
    Settings& s = settings;
    s.modulatorChannel = step(modCh, 4);
    s.carrierChannel = step(carCh, 4);
    s.carrierCapture = step(carCap, 2) != 0;
    s.bufferLength = computeBufferLength();
    s.freeze = step(freezeSwitch, 2) != 0;
    s.modulatorSource = step(modSrc, 5);
    s.bandShift = 8 - step(shiftA, 17);
    s.binShift = 8 - step(shiftD, 17);
    s.mangleWidth = step(mangle, 65);
    s.mono = step(carSt, 2) == 0;

    if (readParam(anaDigi) == 0.0f) {
        s.bandCount = 0;
        bank.clear();
    } else {
        s.bandCount = step(bands, 21) + 1;
    }
    for (int i = 0; i < vocoder::kEqCount; ++i) eqLevels[i] = level(eq[i]);
    if (s.bandCount > 0) bank.apply(vocoder::designBands(s.bandCount, eqLevels, rate()));

    const uint32_t key = static_cast<uint32_t>(s.bufferLength) | (static_cast<uint32_t>(s.freeze) << 21) |
                         (static_cast<uint32_t>(s.modulatorSource) << 22);
    if (restartRecord.exchange(key, std::memory_order_acq_rel) != key) readPosition = writePosition = playPosition = 0;

    vocoder::buildBinGain(eqLevels, rate(), spectral.binGain());
}

void Vocoder::scanGates() {
    bool held = false;
    for (float velocity : gate->v) held = held || velocity != 0.0f;
    if (!held) {
        freeze = FreezeState::Idle;
    } else if (freeze == FreezeState::Idle) {
        // A new key press restarts the modulator buffer and the file from its start.
        freeze = FreezeState::Filling;
        readPosition = writePosition = playPosition = 0;
    }
}

void Vocoder::writeModulator(const float* samples, int32_t count) {
    while (count > 0) {
        // A buffer shortened by a tempo change can leave the position past its end: one
        // sample still goes there, then writing wraps.
        const int32_t run = std::max(1, std::min(count, settings.bufferLength - writePosition));
        std::copy(samples, samples + run, modulatorBuffer.get() + writePosition);
        writePosition += run;
        if (writePosition >= settings.bufferLength) writePosition = 0;
        samples += run;
        count -= run;
    }
}

void Vocoder::refill() {
    constexpr int kBlock = CaptureMemory::kModulatorFrames;
    if (settings.modulatorSource == 0) {
        float block[kBlock];
        reading->readModulatorBlock(settings.modulatorChannel, block);
        writeModulator(block, kBlock);
    } else if (freeze == FreezeState::Idle) {
        // With no key held a file source is silent.
        static constexpr float kSilence[kBlock] = {};
        writeModulator(kSilence, kBlock);
    } else {
        // The file loops: whole runs up to its end, then from its start.
        const VocoderFileSlots::Record& file = files.record(settings.modulatorSource - 1);
        for (int32_t left = kBlock; left > 0;) {
            if (playPosition >= file.count) playPosition = 0;
            const int32_t run = std::min(left, file.count - playPosition);
            writeModulator(file.samples + playPosition, run);
            playPosition += run;
            left -= run;
        }
    }
}

template <class BeforeRefill>
void Vocoder::readModulator(float* out, int32_t frames, BeforeRefill beforeRefill) {
    const Settings& s = settings;
    for (int32_t n = 0; n < frames;) {
        // The buffer is refilled whenever reading catches up with writing, unless a
        // frozen buffer loops.
        const bool looping = s.freeze && freeze == FreezeState::Full;
        if (readPosition == writePosition && !looping) {
            beforeRefill(n);
            refill();
        }
        // A run up to the buffer's end (a buffer shortened by a tempo change can leave
        // the position past it: one sample) and, unless looping, up to the writing.
        int32_t run = std::max(1, std::min(frames - n, s.bufferLength - readPosition));
        if (!looping && writePosition > readPosition) run = std::min(run, writePosition - readPosition);
        std::copy(modulatorBuffer.get() + readPosition, modulatorBuffer.get() + readPosition + run, out + n);
        n += run;
        readPosition += run;
        if (readPosition >= s.bufferLength) {
            readPosition = 0;
            if (freeze != FreezeState::Idle) freeze = FreezeState::Full;
        }
    }
}

template <bool Stereo>
void Vocoder::render(int32_t frames) {
    const Settings& s = settings;
    alignas(16) float modulator[kMaxFrames];
    alignas(16) float left[kMaxFrames];
    alignas(16) float right[kMaxFrames];
    alignas(16) float sumLeft[kMaxFrames];
    alignas(16) float sumRight[kMaxFrames];

    // The inputs of the whole sub-block first, so the filter bank runs on it at once. A
    // capture carrier takes frame n before a refill at frame n reads the capture memory,
    // as when both were read frame by frame (they may share a channel).
    int32_t taken = 0;
    auto takeCarrier = [&](int32_t end) {
        for (; taken < end; ++taken) {
            left[taken] = right[taken] = 0.0f;
            reading->peekFrame(s.carrierChannel, left[taken], right[taken]);
            reading->advance(s.carrierChannel);
        }
    };
    if (s.carrierCapture) {
        readModulator(modulator, frames, [&](int32_t n) { takeCarrier(n + 1); });
        takeCarrier(frames);
    } else {
        const float* input = carrier->data;
        for (int32_t n = 0; n < frames; ++n) {
            left[n] = input[2 * n];
            right[n] = input[2 * n + 1];
        }
        readModulator(modulator, frames, [](int32_t) {});
    }
    // With no bands (filter bank off) the bank writes silence.
    bank.run(modulator, left, Stereo ? right : nullptr, frames, s.bandCount, s.bandShift, readParam(followA) * 0.5f,
             sumLeft, sumRight);

    const VocoderSpectral::Settings spectralSettings{s.binShift, s.mangleWidth, readParam(followD) * 0.5f, Stereo};
    const float x = readParam(anaDigi);
    const float dry = 1.0f - x;
    const float vocoded = readParam(mixVoc);
    const float direct = readParam(mixMod);
    const float carried = readParam(mixCar);
    alignas(16) float ringLeft[kMaxFrames];
    alignas(16) float ringRight[kMaxFrames];
    spectral.run(modulator, left, right, frames, spectralSettings, ringLeft, ringRight);

    const vocoder::MixInputs inputs{modulator, ringLeft, ringRight, sumLeft, sumRight, left, right};
    const vocoder::MixLevels levels{dry, x, vocoded, direct, carried};
    vocoder::mix(spectral.path(), Stereo, inputs, levels, out.data, frames);
}

void Vocoder::process(int32_t frames, int32_t tick) {
    frames = std::clamp(frames, 0, kMaxFrames);
    if (designStale.exchange(false, std::memory_order_acquire)) redesign();
    if (tick) {
        // The tempo may have changed.
        settings.bufferLength = computeBufferLength();
        scanGates();
    }
    CaptureMemory* source = captureSource.load(std::memory_order_acquire);
    reading = source ? source : &capture;
    files.beginRead();
    if (settings.mono)
        render<false>(frames);
    else
        render<true>(frames);
    files.endRead();
    if (levels.watched() && levels.due(frames)) levels.publish(bank, settings.bandCount, spectral);
}
