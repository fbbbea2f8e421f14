// The phrase played when no MIDI file is given: four bars of held chords with a
// melody above them (eight seconds at 120 beats per minute). Held chords give a
// vocoder a steady carrier to shape.
#pragma once

#include "render/MidiSequence.h"

namespace render {

MidiSequence demoPhrase();

}  // namespace render
