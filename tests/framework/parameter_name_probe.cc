// Compiled by the parameter_name tests with PARAMETER_NAME set: a name from the table
// builds, a misspelt one must stop the build.
#include "framework/PluginBase.h"

const ParamValue* probe(PluginBase& plugin) { return plugin.bindParameter(PARAMETER_NAME); }
