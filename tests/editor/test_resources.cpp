// The resource table of the test program (pictures the tests register), and the
// clean-up of the font caches at its end.
#include "gui/TestImages.h"

platform::Resource platform::findResource(const char* type, int id) { return testimages::findResource(type, id); }

static ::testing::Environment* const fontCacheCleanup =
    ::testing::AddGlobalTestEnvironment(new testimages::FontCacheCleanup);
