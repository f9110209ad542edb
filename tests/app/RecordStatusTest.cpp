#include <cmath>
#include <gtest/gtest.h>

#include "RecordStatus.h"
#include "Recorder.h"

// What the window's status bar says of a running recording or stream.
TEST(RecordStatus, FiguresAndStatesInWords)
{
    const struct
    {
        RecordFigures figures;
        bool stream, connecting;
        const char* text;
    } cases[] = {
        {{0, 0, 0, 0}, false, false, "Recording 0:00 · 0 KB"},
        {{30, 0, 0.99, 1536}, false, false, "Recording 0:00 · 1 KB"},
        {{1950, 0, 65.4, 12900000}, false, false, "Recording 1:05 · 12.3 MB"},
        {{1950, 4, 65.4, 12900000}, false, false, "Recording 1:05 · 12.3 MB · 4 dropped"},
        {{0, 0, 3725, 3ull << 30}, false, false, "Recording 1:02:05 · 3.00 GB"},
        {{0, 0, 599.9, 1048575}, true, false, "Streaming 9:59 · 1023 KB"},
        {{0, 40, 0, 0}, true, true, "Connecting… 0:00 · 0 KB · 40 dropped"},
        {{1830, 40, 61, 1048576}, true, true, "Reconnecting… 1:01 · 1.0 MB · 40 dropped"},
        {{0, 0, -1, 0}, false, false, "Recording 0:00 · 0 KB"},
        {{0, 0, NAN, 0}, false, false, "Recording 0:00 · 0 KB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RecordStatusText(c.figures, c.stream, c.connecting), c.text);
}
