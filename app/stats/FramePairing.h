// Which frame of each eye a tick shows: the pair closest in capture time, so that what moves is
// seen by both eyes at one moment. Each eye offers the frame it shows now and the newer ones its
// grabber holds.
#pragma once

#include <cstdint>
#include <span>

struct FramePair
{
    int left = -1; // indices into each eye's candidates; -1 for an eye without any
    int right = -1;
};

// Capture times in CLOCK_MONOTONIC microseconds, in any order. An eye goes back at most
// kFramePairMaxBackUs from its newest frame, so a camera that stalls holds the other back by one
// frame at most; pairs within kFramePairTieUs of the closest count as close, and the newest of them
// wins.
FramePair ClosestFramePair(std::span<const uint64_t> in_left, std::span<const uint64_t> in_right);

inline constexpr uint64_t kFramePairMaxBackUs = 40000; // a frame at 30 a second, and some
inline constexpr uint64_t kFramePairTieUs = 1000;
