// The newest samples of one figure, each with the time it was taken, in a ring of fixed size:
// figures over the last few seconds without an allocation per sample.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

class StampRing
{
public:
    static constexpr size_t kCapacity = 512; // 5 s at 100 samples a second

    // Samples come in time order; the oldest goes when the ring is full.
    void add(uint64_t in_timeUs, double in_value);
    void clear() { mCount = 0; }
    // The samples taken at or after in_sinceUs.
    size_t countSince(uint64_t in_sinceUs) const;
    // The time of the oldest sample taken at or after in_sinceUs, and of the newest; 0 for none.
    uint64_t oldestSince(uint64_t in_sinceUs) const;
    uint64_t newest() const;
    // The value below which in_fraction of the samples since in_sinceUs lie (nearest rank:
    // 0.5 the median, 0.99 the 99th percentile); false for no sample.
    bool percentileSince(uint64_t in_sinceUs, double in_fraction, double& out_value) const;

private:
    struct Sample
    {
        uint64_t timeUs;
        double value;
    };
    // The i-th newest sample, 0 the newest.
    const Sample& back(size_t in_index) const;

    std::array<Sample, kCapacity> mSamples{};
    size_t mNext = 0;
    size_t mCount = 0;
    mutable std::array<double, kCapacity> mSorted{}; // the percentile's scratch
};
