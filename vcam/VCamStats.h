// The virtual camera's figures for --stats: frames written, and how old the new ones were when
// written (write time minus capture time, from the stamped channel), over the last seconds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class VCamStats
{
public:
    // The window of the age figures, and the ages kept: 5 s at up to 100 frames a second.
    static constexpr uint64_t kWindowNs = 5000000000;
    static constexpr size_t kAgesKept = 512;

    // A frame written at in_writeNs; in_captureNs is its capture time when it is new and
    // stamped, else 0.
    void frameWritten(uint64_t in_writeNs, uint64_t in_captureNs);
    uint64_t written() const { return mWritten; }
    uint64_t aged() const { return mAged; }

    std::string json(uint64_t in_nowNs) const;
    // The figures into in_path whole (a file beside it, renamed), so a reader never sees half.
    bool writeFile(const std::string& in_path, uint64_t in_nowNs) const;

private:
    struct Age
    {
        uint64_t writeNs;
        double ms;
    };
    // The value below which in_fraction of the ages in the window lie (nearest rank).
    double percentile(size_t in_count, double in_fraction) const;

    uint64_t mWritten = 0;
    uint64_t mAged = 0;                 // new stamped frames among them
    std::array<Age, kAgesKept> mAges{}; // a ring, the newest at mAged - 1
    mutable std::array<double, kAgesKept> mSorted{};
};
