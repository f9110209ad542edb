// What a recording or stream writes, chosen by the user before it starts.
#pragma once

enum class RecordLayout {
    Monitor,    // the monitor picture as shown: anaglyph, depth map…
    SideBySide, // both eyes full size, left first, in one picture marked as stereo
    TwoStreams, // each eye its own video stream, named "left" and "right" (Matroska only)
};

enum class RecordCodec {
    H264,  // libx264; MPEG-4 when libavcodec has no libx264
    Mpeg4, // libavcodec's own
};

struct RecordSettings
{
    RecordLayout layout = RecordLayout::SideBySide;
    RecordCodec codec = RecordCodec::H264;
    // The monitor picture's size, or one eye's.
    int width = 0;
    int height = 0;
    // The nominal rate, for the encoder's rate control and the container's default frame
    // duration; the time stamps themselves are the frames' capture times.
    int framesPerSecond = 30;
    int threads = 0; // the encoder's threads; 0: its own choice
};
