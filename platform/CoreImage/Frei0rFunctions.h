// The entry points of a loaded frei0r plug-in, shared by the plug-in and its instances.
#pragma once

#include <frei0r.h>

namespace CoreImage {

struct Frei0rFunctions
{
    decltype(&f0r_init) init;
    decltype(&f0r_deinit) deinit;
    decltype(&f0r_get_plugin_info) getPlugInInfo;
    decltype(&f0r_get_param_info) getParamInfo;
    decltype(&f0r_construct) construct;
    decltype(&f0r_destruct) destruct;
    decltype(&f0r_set_param_value) setParamValue;
    decltype(&f0r_update) update;
};

} // namespace CoreImage
