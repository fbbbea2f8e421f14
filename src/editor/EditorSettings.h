// The editor's settings in the user's configuration: the scale chosen from the panel's
// menu, kept in editor.ini (section [editor], key scale, in percent) of the user's
// Zorvek folder. User-interface thread.
#pragma once

#include <cstdint>

namespace editorsettings {

// The scales the menu offers, in percent.
constexpr int32_t kMenuScales[] = {100, 125, 150, 200};

// The saved scale in percent, 0 when none is saved or the saved one is not a whole
// quarter from 100 to 200.
int32_t savedScale();
// Saves the scale; a folder that cannot be written keeps the setting for this session
// only.
void saveScale(int32_t percent);

}  // namespace editorsettings
