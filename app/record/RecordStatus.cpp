#include "RecordStatus.h"

#include <cmath>
#include <cstdio>

#include "Recorder.h"

namespace {

// m:ss, and h:mm:ss from an hour on.
std::string Duration(double seconds)
{
    const long total = std::isfinite(seconds) && seconds > 0 ? long(seconds) : 0;
    char text[32];
    if (total >= 3600)
        snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    else
        snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

std::string Size(uint64_t bytes)
{
    constexpr double kMB = 1024 * 1024, kGB = kMB * 1024;
    char text[32];
    if (double(bytes) < kMB)
        snprintf(text, sizeof text, "%llu KB", (unsigned long long)(bytes / 1024));
    else if (double(bytes) < kGB)
        snprintf(text, sizeof text, "%.1f MB", double(bytes) / kMB);
    else
        snprintf(text, sizeof text, "%.2f GB", double(bytes) / kGB);
    return text;
}

} // namespace

const char* RecordLayoutName(RecordLayout in_layout)
{
    switch (in_layout) {
    case RecordLayout::Monitor:
        return "monitor";
    case RecordLayout::SideBySide:
        return "side-by-side";
    case RecordLayout::TwoStreams:
        return "two-streams";
    }
    return "side-by-side";
}

bool RecordLayoutNamed(const std::string& in_name, RecordLayout& out_layout)
{
    for (RecordLayout layout : kRecordLayouts)
        if (in_name == RecordLayoutName(layout)) {
            out_layout = layout;
            return true;
        }
    return false;
}

std::string RecordStatusText(const RecordFigures& in_figures, bool in_stream, bool in_connecting)
{
    // Connecting before the first frame went out; after, the server went away.
    std::string text = !in_stream                      ? "Recording "
                       : !in_connecting                ? "Streaming "
                       : in_figures.framesWritten == 0 ? "Connecting… "
                                                       : "Reconnecting… ";
    text += Duration(in_figures.seconds) + " · " + Size(in_figures.bytes);
    if (in_figures.framesDropped != 0)
        text += " · " + std::to_string(in_figures.framesDropped) + " dropped";
    return text;
}
