// Modulator and carrier sources of the vocoder: file slots played through the
// modulator buffer, freeze, the buffer restart rule, and the capture channels.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <deque>
#include <random>
#include <thread>

#include "vocoder/VocoderBands.h"
#include "vocoder_rig.h"

using vocoder::softClip;

namespace {

std::vector<int16_t> noiseSamples(size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> value(-32768, 32767);
    std::vector<int16_t> samples(count);
    for (int16_t& s : samples) s = static_cast<int16_t>(value(random));
    return samples;
}

float asFloat(int16_t s) { return static_cast<float>(s) / 32768.0f; }

// Only the dry modulator reaches the output.
void modulatorOnly(VocoderRig& rig) {
    rig.set(rig.params.mixMod, 1.0f);
    rig.set(rig.params.mixVoc, 0.0f);
    rig.set(rig.params.mixCar, 0.0f);
}

}  // namespace

TEST(VocoderSources, WithOnlyMixModTheOutputIsTheFileThroughTheSoftClipLoopedWhileAKeyIsHeld) {
    std::vector<int16_t> samples = noiseSamples(1000, 1);
    samples[10] = 32767;  // beyond the clipper's knee
    samples[11] = -32768;
    const std::string path = writeWav("loop.wav", samples, 44100);
    for (float carSt : {0.0f, 1.0f}) {
        VocoderRig rig;
        rig.vocoder->setFile(0, path.c_str());
        EXPECT_EQ(rig.vocoder->fileName(0), path);
        modulatorOnly(rig);
        rig.set(rig.params.carSt, carSt);
        rig.carrierLeft.assign(5000, 0.7f);  // a carrier that must not leak through
        rig.carrierRight.assign(5000, -0.7f);

        std::vector<float> silent = rig.run(600);
        for (float v : silent) ASSERT_EQ(v, 0.0f) << "a file source is silent with no key held";

        rig.holdKey(true);
        std::vector<float> out = rig.run(3500, 88);
        for (size_t n = 0; n < 3500; ++n) {
            const float want = softClip(asFloat(samples[n % samples.size()]));
            ASSERT_EQ(out[2 * n], want) << "frame " << n << " stereo " << carSt;
            ASSERT_EQ(out[2 * n + 1], want) << "frame " << n;
        }
    }
}

TEST(VocoderSources, FreezeLoopsBufferLengthSamplesWhileAKeyIsHeldAndANewPressRestartsTheFile) {
    const std::vector<int16_t> samples = noiseSamples(30000, 2);
    VocoderRig rig;
    rig.context.tempoLength.store(81920);  // a beat of 81920 samples: [1/32] is 2560
    rig.vocoder->setFile(1, writeWav("freeze.wav", samples, 44100).c_str());
    rig.set(rig.params.modSrc, 0.5f);  // file slot 2
    rig.set(rig.params.freeze, 1.0f);
    modulatorOnly(rig);
    rig.holdKey(true);
    std::vector<float> out = leftOf(rig.run(4 * 2560 + 100, 64));
    EXPECT_EQ(rig.vocoder->bufferLength(), 2560);
    EXPECT_EQ(rig.vocoder->freezeState(), Vocoder::FreezeState::Full);
    for (size_t n = 0; n < 2560; ++n) ASSERT_EQ(out[n], softClip(asFloat(samples[n]))) << n;
    for (size_t n = 2560; n < out.size(); ++n) ASSERT_EQ(out[n], out[n - 2560]) << "repeats at " << n;

    // Release (the next tick returns to Idle and the buffer plays out), then a new press
    // plays the file from its start again.
    rig.holdKey(false);
    rig.run(300);
    EXPECT_EQ(rig.vocoder->freezeState(), Vocoder::FreezeState::Idle);
    rig.holdKey(true);
    out = leftOf(rig.run(3000));
    for (size_t n = 0; n < 2560; ++n) ASSERT_EQ(out[n], softClip(asFloat(samples[n]))) << n;

    // With the freeze switch off the file just plays on.
    VocoderRig live;
    live.context.tempoLength.store(81920);
    live.vocoder->setFile(1, writeWav("freeze.wav", samples, 44100).c_str());
    live.set(live.params.modSrc, 0.5f);
    modulatorOnly(live);
    live.holdKey(true);
    out = leftOf(live.run(3 * 2560));
    for (size_t n = 0; n < out.size(); ++n) ASSERT_EQ(out[n], softClip(asFloat(samples[n]))) << n;
}

TEST(VocoderSources, ChangingBufSizeInOneInstanceRestartsTheModulatorOfAnotherAtItsNextDesign) {
    const std::vector<int16_t> samples = noiseSamples(20000, 3);
    const std::string path = writeWav("restart.wav", samples, 44100);
    VocoderRig a;
    a.vocoder->setFile(0, path.c_str());
    modulatorOnly(a);
    a.holdKey(true);
    a.run(1024);

    // A redesign with the remembered settings unchanged keeps playing.
    a.set(a.params.mixCar, 0.0f);
    std::vector<float> out = leftOf(a.run(256));
    EXPECT_EQ(out[0], softClip(asFloat(samples[1024])));

    VocoderRig b;
    b.set(b.params.bufSize, 1.0f);
    b.run(1);
    // a's next design, for whatever parameter, finds the record changed and restarts.
    a.set(a.params.mixCar, 0.0f);
    out = leftOf(a.run(256));
    for (size_t n = 0; n < out.size(); ++n) ASSERT_EQ(out[n], softClip(asFloat(samples[n]))) << n;
}

TEST(VocoderSources, FileSlotsKeepTheirPathsAndReloadAtANewSampleRate) {
    const std::vector<int16_t> samples = noiseSamples(600, 4);
    const std::string path = writeWav("rate.wav", samples, 44100);
    VocoderRig rig;
    rig.vocoder->setFile(3, path.c_str());
    rig.vocoder->setFile(4, path.c_str());  // no such slot
    rig.vocoder->setFile(-1, path.c_str());
    EXPECT_EQ(rig.vocoder->fileName(3), path);
    EXPECT_EQ(rig.vocoder->fileName(0), "");
    EXPECT_EQ(rig.vocoder->fileName(4), "");
    rig.set(rig.params.modSrc, 1.0f);  // file slot 4
    modulatorOnly(rig);

    // At twice the file's rate every file frame is held for two samples.
    rig.vocoder->setSampleRate(88200);
    rig.holdKey(true);
    std::vector<float> out = leftOf(rig.run(1200));
    for (size_t n = 0; n < out.size(); ++n) ASSERT_EQ(out[n], softClip(asFloat(samples[n / 2]))) << n;

    // A path too long to store leaves the slot empty and silent.
    const std::string longPath = "/" + std::string(300, 'x') + ".wav";
    rig.vocoder->setFile(3, longPath.c_str());
    EXPECT_EQ(rig.vocoder->fileName(3), "");
    rig.holdKey(false);
    rig.run(1);
    rig.holdKey(true);
    for (float v : rig.run(600)) ASSERT_EQ(v, 0.0f);
}

TEST(VocoderSources, ReplacingAFileWhileAudioRunsNeverMixesBuffersAndFreesEveryOldOne) {
    const std::vector<int16_t> shortFile(300, 1000);
    const std::vector<int16_t> longFile(5000, -2000);
    const std::string shortPath = writeWav("short.wav", shortFile, 44100);
    const std::string longPath = writeWav("long.wav", longFile, 44100);
    VocoderRig rig;
    rig.vocoder->setFile(0, longPath.c_str());
    modulatorOnly(rig);
    rig.holdKey(true);
    std::atomic<bool> running{true};
    std::thread loader([&] {
        for (int i = 0; running.load(); ++i) rig.vocoder->setFile(0, (i % 2 ? longPath : shortPath).c_str());
    });
    const float a = softClip(1000.0f / 32768.0f), b = softClip(-2000.0f / 32768.0f);
    for (int block = 0; block < 3000; ++block) {
        std::vector<float> out = rig.run(64, 64);
        for (float v : out) ASSERT_TRUE(v == a || v == b) << v;
    }
    running.store(false);
    loader.join();
}

TEST(VocoderSources, CaptureCarrierTakesOneFramePerOutputFrameAndIsSilentWhenEmpty) {
    auto writer = captureWriter(3);
    VocoderRig rig;
    rig.set(rig.params.carCap, 1.0f);
    rig.set(rig.params.carCh, 1.0f);  // channel 4
    rig.set(rig.params.carSt, 1.0f);  // stereo
    rig.set(rig.params.mixCar, 1.0f);
    rig.set(rig.params.mixVoc, 0.0f);
    for (int i = 0; i < 100; ++i) writer->writeFrame(3, 0.001f * i, -0.002f * i);
    rig.carrierLeft.assign(256, 0.9f);  // the synthesizer carrier is not used
    std::vector<float> out = rig.run(256);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(out[2 * i], softClip(0.001f * i)) << i;
        ASSERT_EQ(out[2 * i + 1], softClip(-0.002f * i)) << i;
    }
    for (int i = 100; i < 256; ++i) ASSERT_EQ(out[2 * i], 0.0f) << i;
    EXPECT_EQ(writer->available(3), 0);
    EXPECT_EQ(writer->view()->channels[3].left.readIndex.load(), 100);
}

TEST(VocoderSources, CaptureModulatorWaitsForAWholeBlockOf256Frames) {
    auto writer = captureWriter(2);
    VocoderRig rig;
    rig.set(rig.params.modSrc, 0.0f);
    rig.set(rig.params.modCh, 2.0f / 3.0f);  // channel 3
    modulatorOnly(rig);
    for (int i = 0; i < 255; ++i) writer->writeFrame(2, 0.5f, 0.25f);
    for (float v : rig.run(256)) ASSERT_EQ(v, 0.0f);
    EXPECT_EQ(writer->available(2), 255) << "a short channel is left alone";
    writer->writeFrame(2, 0.5f, 0.25f);
    std::vector<float> out = leftOf(rig.run(256));
    for (float v : out) ASSERT_EQ(v, softClip(0.375f)) << "left and right averaged";
    EXPECT_EQ(writer->available(2), 0);
}

// With only MixCar the output is each carrier sample through the soft clip, in every
// sub-block length (the mix runs four frames per vector with a scalar tail): values
// beyond +-1.5 clip to +-1.
TEST(VocoderSources, WithOnlyMixCarTheOutputIsTheCarrierThroughTheSoftClip) {
    for (float carSt : {0.0f, 1.0f}) {
        VocoderRig rig;
        rig.set(rig.params.mixMod, 0.0f);
        rig.set(rig.params.mixVoc, 0.0f);
        rig.set(rig.params.mixCar, 0.75f);
        rig.set(rig.params.carSt, carSt);
        const size_t frames = 3000;
        for (size_t n = 0; n < frames; ++n) {
            rig.carrierLeft.push_back(static_cast<float>(n % 97) * 0.05f - 2.4f);
            rig.carrierRight.push_back(2.2f - static_cast<float>(n % 89) * 0.05f);
        }
        std::vector<float> out;
        for (int32_t block : {1, 2, 3, 5, 7, 88, 255, 256}) {
            const std::vector<float> part = rig.run(block * 3, block);
            out.insert(out.end(), part.begin(), part.end());
        }
        const std::vector<float> left = leftOf(out), right = rightOf(out);
        for (size_t n = 0; n < left.size(); ++n) {
            const float wantLeft = softClip(0.75f * rig.carrierLeft[n]);
            const float wantRight = carSt == 1.0f ? softClip(0.75f * rig.carrierRight[n]) : wantLeft;
            ASSERT_EQ(left[n], wantLeft) << n << " stereo " << carSt;
            ASSERT_EQ(right[n], wantRight) << n << " stereo " << carSt;
        }
        EXPECT_EQ(left.size(), 1851u);
    }
}

namespace {

// The modulator buffer played one frame at a time: refilled with 256 samples whenever
// reading catches up with writing (unless a frozen buffer loops), both positions
// wrapping at the buffer length, which a tempo change can shorten below them.
struct FrameByFrameModulator {
    std::vector<float> file;
    std::vector<float> buffer = std::vector<float>(1 << 20);
    bool freezeSwitch = false;
    Vocoder::FreezeState state = Vocoder::FreezeState::Idle;
    int32_t length = 1, read = 0, write = 0, play = 0;

    void tick(int32_t bufferLength, bool held) {
        length = bufferLength;
        if (!held) {
            state = Vocoder::FreezeState::Idle;
        } else if (state == Vocoder::FreezeState::Idle) {
            state = Vocoder::FreezeState::Filling;
            read = write = play = 0;
        }
    }
    void put(float sample) {
        buffer[write] = sample;
        if (++write >= length) write = 0;
    }
    float next() {
        const bool looping = freezeSwitch && state == Vocoder::FreezeState::Full;
        if (read == write && !looping) {
            for (int i = 0; i < 256; ++i) {
                if (state == Vocoder::FreezeState::Idle) {
                    put(0.0f);
                } else {
                    if (play >= static_cast<int32_t>(file.size())) play = 0;
                    put(file[play++]);
                }
            }
        }
        const float sample = buffer[read];
        if (++read >= length) {
            read = 0;
            if (state != Vocoder::FreezeState::Idle) state = Vocoder::FreezeState::Full;
        }
        return sample;
    }
};

}  // namespace

// Sub-blocks of random lengths, the tempo (and so the buffer length) changing at ticks,
// keys released and pressed again: the modulator the vocoder plays is the one a frame by
// frame reading of its buffer gives, with the freeze switch off and on.
TEST(VocoderSources, ModulatorBufferReadsLikeFrameByFrameThroughTempoChangesAndKeyPresses) {
    const std::vector<int16_t> samples = noiseSamples(7000, 4);
    const std::string path = writeWav("frames.wav", samples, 44100);
    for (float freeze : {0.0f, 1.0f}) {
        VocoderRig rig;
        rig.context.tempoLength.store(32000);  // BufSize 0: a 32nd of a beat, 1000 samples
        rig.vocoder->setFile(0, path.c_str());
        modulatorOnly(rig);
        rig.set(rig.params.freeze, freeze);
        FrameByFrameModulator model;
        for (int16_t s : samples) model.file.push_back(asFloat(s));
        model.freezeSwitch = freeze != 0.0f;

        std::mt19937 random(9);
        std::uniform_int_distribution<int32_t> length(1, 256), tempo(1280, 96000), chance(0, 9);
        bool held = true;
        for (int block = 0, frame = 0; block < 600; ++block) {
            if (chance(random) == 0) rig.context.tempoLength.store(tempo(random));
            if (chance(random) == 0) held = !held;
            rig.holdKey(held);
            const int32_t frames = length(random);
            const std::vector<float> out = leftOf(rig.run(frames, frames));
            model.tick(rig.vocoder->bufferLength(), held);
            for (int32_t n = 0; n < frames; ++n, ++frame)
                ASSERT_EQ(out[n], softClip(model.next())) << "frame " << frame << " freeze " << freeze;
        }
    }
}

// Capture carrier and capture modulator on one channel share its frames: frame by frame
// the carrier takes one frame, and at every 256th frame (when the modulator buffer has
// been read up) the modulator then takes a block of 256 if that many wait. Sub-blocks
// of random lengths and a writer that runs ahead or starves must not change that order.
TEST(VocoderSources, CaptureCarrierAndModulatorOnOneChannelTakeFramesInFrameOrder) {
    auto writer = captureWriter(1);
    VocoderRig rig;
    rig.context.tempoLength.store(32000);  // a buffer of 1000 samples: a refill every 256 frames
    rig.set(rig.params.carCap, 1.0f);
    rig.set(rig.params.carCh, 1.0f / 3.0f);  // channel 2
    rig.set(rig.params.modSrc, 0.0f);
    rig.set(rig.params.modCh, 1.0f / 3.0f);
    rig.set(rig.params.mixCar, 1.0f);
    rig.set(rig.params.mixVoc, 0.0f);
    rig.set(rig.params.mixMod, 0.0f);

    std::deque<float> waiting;
    std::mt19937 random(11);
    std::uniform_int_distribution<int32_t> length(1, 256), writes(0, 600);
    int32_t written = 0;
    for (int block = 0, frame = 0; block < 400; ++block) {
        for (int32_t w = writes(random); w > 0 && waiting.size() < 3500; --w, ++written) {
            const float value = static_cast<float>(written % 1000) * 0.001f;
            writer->writeFrame(1, value, value);
            waiting.push_back(value);
        }
        const int32_t frames = length(random);
        const std::vector<float> out = leftOf(rig.run(frames, frames));
        for (int32_t n = 0; n < frames; ++n, ++frame) {
            float carrier = 0.0f;
            if (!waiting.empty()) carrier = waiting.front(), waiting.pop_front();
            ASSERT_EQ(out[n], softClip(carrier)) << "frame " << frame;
            if (frame % 256 == 0 && waiting.size() >= 256) waiting.erase(waiting.begin(), waiting.begin() + 256);
        }
    }
    EXPECT_EQ(writer->available(1), static_cast<int32_t>(waiting.size()));
}
