// The window pictures: the vocoder panel (608 x 512) with its sections and captions at
// the places of the parameter table's controls, and the capture panel (200 x 60).
#pragma once

#include <string>

namespace art {

bool vocoderPanel(const std::string& path);
bool capturePanel(const std::string& path);

}  // namespace art
