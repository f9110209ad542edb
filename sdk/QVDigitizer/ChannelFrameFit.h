// A broadcast frame fitted into a frame of another size: scaled once, aspect kept, centred
// between opaque black bars.
#pragma once

#include <cstdint>

struct ChannelFrameRect
{
    int x, y, width, height;
};

// Where a in_width x in_height picture lies fitted into in_frameWidth x in_frameHeight: the
// largest centred rectangle of the picture's aspect, at even coordinates and sizes.
ChannelFrameRect FitChannelFrame(int in_width, int in_height, int in_frameWidth,
                                 int in_frameHeight);

// A,R,G,B frames: in_source (in_width x in_height) into out_frame, copied when the sizes are
// equal, else scaled into the fitted rectangle with the rest made opaque black.
void FitChannelFrameInto(const uint8_t* in_source, int in_sourceRowBytes, int in_width,
                         int in_height, uint8_t* out_frame, int in_frameRowBytes, int in_frameWidth,
                         int in_frameHeight);
