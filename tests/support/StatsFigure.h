// One figure of a --stats file (the application's or the virtual camera's JSON), found by its
// name; NaN when it is null or missing.
#pragma once

#include <cmath>
#include <cstdlib>
#include <string>

namespace p3dtest {

inline double StatsFigure(const std::string& json, const std::string& name)
{
    const size_t at = json.find("\"" + name + "\": ");
    if (at == std::string::npos)
        return std::nan("");
    const char* value = json.c_str() + at + name.size() + 4;
    char* end = nullptr;
    const double figure = strtod(value, &end);
    return end == value ? std::nan("") : figure;
}

} // namespace p3dtest
