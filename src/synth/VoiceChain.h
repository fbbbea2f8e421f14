// The voice modules of the carrier synthesizer in one frame loop: both oscillators, the
// mixer, the amplifier, the ladder filter and the voice summer. The ladder's long chain
// from frame to frame leaves most of the processor's issue slots idle, and the others'
// independent work of the same frame fills them. Every value is computed as the
// modules' own process computes it, in the same order, from the modules' own state, so
// the carrier keeps its bits. Only the summer's output is written, and an oscillator's
// when that oscillator renders its frames itself (the random form, increments of a cycle
// or more, the SSE2 path): the other buffers between the modules are not read when they
// run together.
#pragma once

#include <cstdint>

#include "dsp/DspModule.h"
#include "dsp/SimdPath.h"

class Amplifier;
class LadderFilter;
class Oscillator;
class OscillatorMixer;
class VoiceSummer;

class VoiceChain final : public DspModule {
public:
    // The plug-in's rack runs the chain at the amplifier's place, after the envelope the
    // amplifier reads, and skips the others (ModuleRack::runInstead). The oscillators and
    // the mixer need nothing the envelope computes, so running them there changes nothing.
    VoiceChain(ModuleContext& context, Oscillator& oscillatorA, Oscillator& oscillatorB, OscillatorMixer& mixer,
               Amplifier& amplifier, LadderFilter& filter, VoiceSummer& summer);

    // Audio thread: the six modules' process for the sub-block, in one loop when they are
    // chained, else one after another.
    void process(int32_t frames, int32_t tick) override;

    // As Oscillator::usePath: the path of the fused loop.
    bool usePath(SimdPath wanted);

    // What one sub-block of the chain reads and writes.
    struct Block;
    using Kernel = void (*)(const Block&, bool periodicA, bool periodicB, int32_t frames);

    // Whether the six are wired one into the next (mixer inputs A and B from oscillators A
    // and B, and so on).
    bool chained() const;

private:
    Oscillator& oscillatorA;
    Oscillator& oscillatorB;
    OscillatorMixer& mixer;
    Amplifier& amplifier;
    LadderFilter& filter;
    VoiceSummer& summer;
    SimdPath path = SimdPath::Sse2;
    Kernel kernel;  // chosen with the path
};
