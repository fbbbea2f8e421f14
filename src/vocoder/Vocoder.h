// The vocoder module: imposes the spectral envelope of a modulator (a WAV file slot or a
// capture channel) on the carrier (the voice summer's output or a capture channel).
// Two vocoders run side by side, a bank of 1 to 21 band-passes with followers and a
// 512-point spectral path; AnaDigi crossfades them, then the vocoded signal is mixed
// with the dry modulator and carrier and soft-clipped.
//
// Threads: onParameter and setSampleRate may run on any thread while process runs on
// the audio thread. onParameter only marks the design stale; process redesigns at its
// start, so every field that process uses belongs to the audio thread alone.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "capture/CaptureMemory.h"
#include "dsp/Buffers.h"
#include "dsp/DspModule.h"
#include "dsp/ModuleContext.h"
#include "vocoder/BandLevels.h"
#include "vocoder/VocoderFileSlots.h"
#include "vocoder/VocoderFilterBank.h"
#include "vocoder/VocoderSpectral.h"

class Vocoder final : public DspModule {
public:
    static constexpr int32_t kModulatorBufferSize = 1 << 20;  // 4 MiB of floats

    enum class FreezeState : int32_t { Idle = 0, Filling = 1, Full = 2 };

    // Allocates everything the module needs; nothing is allocated while processing.
    Vocoder(ModuleRack& rack, ModuleContext& context);
    ~Vocoder() override;

    // Any thread: stores the rate, reloads the four file slots at it and redesigns the
    // bands for it.
    void setSampleRate(int32_t rate) override;
    // Any thread: the derived settings, bands and gain curves are rebuilt at the start of
    // the next process call.
    void onParameter(int32_t index, float value) override;
    // Audio thread.
    void process(int32_t frames, int32_t tick) override;

    // Loading threads (editor, chunk loading): file slot 0..3, other slots are ignored.
    void setFile(int slot, const char* path);
    std::string fileName(int slot) const { return files.fileName(slot); }
    bool fileLoaded(int slot) const { return files.isLoaded(slot); }

    const StereoBuffer& output() const { return out; }

    // Any thread: where the capture channels are read from from the next process call
    // on; null restores the shared memory. The source must outlive its use here.
    void setCaptureSource(CaptureMemory* source) { captureSource.store(source, std::memory_order_release); }

    // Read-outs of the audio thread's state, for tests and meters on that thread.
    int32_t bandCount() const { return settings.bandCount; }
    int32_t bufferLength() const { return settings.bufferLength; }
    FreezeState freezeState() const { return freeze; }
    const VocoderFilterBank& filterBank() const { return bank; }
    const VocoderSpectral& spectralPath() const { return spectral; }
    // The levels an open editor shows.
    BandLevels& bandLevels() { return levels; }

    // Inputs.
    const VoiceVector* gate = &zeros::voiceVector;
    const StereoBuffer* carrier = &zeros::stereoBuffer;

    // Parameters.
    const ParamValue* followA = &zeros::param;
    const ParamValue* followD = &zeros::param;
    const ParamValue* shiftA = &zeros::param;
    const ParamValue* shiftD = &zeros::param;
    const ParamValue* bands = &zeros::param;
    const ParamValue* mangle = &zeros::param;
    const ParamValue* modSrc = &zeros::param;
    const ParamValue* eq[vocoder::kEqCount] = {&zeros::param, &zeros::param, &zeros::param,
                                               &zeros::param, &zeros::param, &zeros::param};
    const ParamValue* carCap = &zeros::param;
    const ParamValue* carCh = &zeros::param;
    const ParamValue* modCh = &zeros::param;
    const ParamValue* freezeSwitch = &zeros::param;
    const ParamValue* bufSize = &zeros::param;
    const ParamValue* carSt = &zeros::param;
    const ParamValue* mixCar = &zeros::param;
    const ParamValue* mixMod = &zeros::param;
    const ParamValue* mixVoc = &zeros::param;
    const ParamValue* anaDigi = &zeros::param;

private:
    struct Settings {
        int32_t modulatorChannel = 0;
        int32_t carrierChannel = 0;
        bool carrierCapture = false;
        int32_t bufferLength = 256;
        bool freeze = false;
        int32_t modulatorSource = 1;
        int32_t bandShift = 0;
        int32_t binShift = 0;
        int32_t mangleWidth = 0;
        bool mono = true;
        int32_t bandCount = vocoder::kMaxBands;
    };

    // Audio thread.
    void redesign();
    int32_t computeBufferLength() const;
    void scanGates();
    // Reads the next `frames` modulator samples into out; beforeRefill(n) runs before
    // the buffer is refilled at frame n.
    template <class BeforeRefill>
    void readModulator(float* out, int32_t frames, BeforeRefill beforeRefill);
    void refill();
    // Appends count samples to the modulator buffer, wrapping at the buffer length.
    void writeModulator(const float* samples, int32_t count);
    template <bool Stereo>
    void render(int32_t frames);

    CaptureMemory capture{CaptureMemory::Role::Reader};
    std::atomic<CaptureMemory*> captureSource{nullptr};
    // The capture source of the current process call.
    CaptureMemory* reading = &capture;
    VocoderFileSlots files;
    VocoderFilterBank bank;
    VocoderSpectral spectral;
    std::unique_ptr<float[]> modulatorBuffer;
    Settings settings;
    float eqLevels[vocoder::kEqCount] = {};
    FreezeState freeze = FreezeState::Idle;
    int32_t readPosition = 0;
    int32_t writePosition = 0;
    int32_t playPosition = 0;
    std::atomic<bool> designStale{true};
    StereoBuffer out;
    BandLevels levels;
};
