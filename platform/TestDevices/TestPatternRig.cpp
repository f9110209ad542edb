#include "TestPatternRig.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace {

struct Key
{
    const char* name;
    double TestPatternRig::*value;
    // Wider faults would leave the corners of the picture with nothing to show.
    double limit;
};

constexpr Key kKeys[] = {
    {"vertical", &TestPatternRig::verticalPx, 100.0},
    {"roll", &TestPatternRig::rollDeg, 20.0},
    {"focal", &TestPatternRig::focalPercent, 20.0},
    {"k1", &TestPatternRig::k1, 0.3},
};

std::string Number(double in_value)
{
    char text[32];
    snprintf(text, sizeof text, "%g", in_value);
    return text;
}

} // namespace

bool TestPatternRig::Parse(const std::string& in_text, TestPatternRig& out_rig,
                           std::string& out_reason)
{
    TestPatternRig rig;
    bool seen[std::size(kKeys)] = {};
    size_t start = 0;
    while (start < in_text.size()) {
        const size_t end = std::min(in_text.find(',', start), in_text.size());
        const std::string item = in_text.substr(start, end - start);
        start = end + 1;
        const size_t equals = item.find('=');
        const std::string name = item.substr(0, equals);
        size_t index = 0;
        while (index < std::size(kKeys) && name != kKeys[index].name)
            ++index;
        if (index == std::size(kKeys) || equals == std::string::npos) {
            out_reason =
                "\"" + item + "\" is not one of vertical=PX, roll=DEG, focal=PERCENT, k1=K";
            return false;
        }
        if (seen[index]) {
            out_reason = name + " is given twice";
            return false;
        }
        seen[index] = true;
        const std::string text = item.substr(equals + 1);
        char* rest = nullptr;
        errno = 0;
        const double value = text.empty() ? NAN : strtod(text.c_str(), &rest);
        const double limit = kKeys[index].limit;
        if (!std::isfinite(value) || *rest != '\0' || errno != 0 || std::abs(value) > limit) {
            out_reason = name + " takes a number from " + Number(-limit) + " to " + Number(limit) +
                         ", not \"" + text + "\"";
            return false;
        }
        rig.*kKeys[index].value = value;
    }
    if (!in_text.empty() && in_text.back() == ',') {
        out_reason = "\"" + in_text + "\" ends in a comma";
        return false;
    }
    out_rig = rig;
    return true;
}
