// What a MIDI file holds, track by track and channel by channel, so that the user can
// choose tracks and channels to render.
#pragma once

#include <string>

#include "render/MidiSelection.h"
#include "render/MidiSequence.h"

namespace render {

// A table of tracks, channels, note counts, controllers and track names, marking what
// `selection` plays; seconds is the file's length.
std::string midiListing(const MidiSequence& sequence, double seconds, const MidiSelection& selection);

}  // namespace render
