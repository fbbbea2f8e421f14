// Where the editor's pop-ups (a knob's drag pop-up, the hover value box) go: of a few
// candidate places, the one that hides the least of the other controls.
#pragma once

#include <initializer_list>

#include "gui/CRect.h"

class CFrame;

// Each candidate is first moved inside the frame. Covering is the area shared with the
// frame's mouse-enabled views (the control the pop-up belongs to included); ties go to
// the earlier candidate.
CRect leastCovering(const CFrame* frame, std::initializer_list<CRect> candidates);
