// What the window says of a recording: the layouts' names as the preferences and the command
// line spell them, and the running figures in a few words.
#pragma once

#include <cstdint>
#include <string>

#include "RecordSettings.h"

struct RecordFigures;

// Every layout, in the order the command line lists them.
inline constexpr RecordLayout kRecordLayouts[] = {RecordLayout::Monitor, RecordLayout::SideBySide,
                                                  RecordLayout::TwoStreams};

// "monitor", "side-by-side", "two-streams".
const char* RecordLayoutName(RecordLayout in_layout);
// False for any other name, and out_layout unchanged.
bool RecordLayoutNamed(const std::string& in_name, RecordLayout& out_layout);

// "Recording 1:05 · 12.3 MB", "Streaming …", "Connecting… …" or "Reconnecting… …", with
// "· 4 dropped" once frames were dropped.
std::string RecordStatusText(const RecordFigures& in_figures, bool in_stream, bool in_connecting);
