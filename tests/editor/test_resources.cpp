// The resource table of the test program: pictures the tests register.
#include "gui/TestImages.h"

platform::Resource platform::findResource(const char* type, int id) { return testimages::findResource(type, id); }
