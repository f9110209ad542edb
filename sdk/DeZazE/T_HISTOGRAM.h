// A histogram of 8-bit values (the 4:2:2 copies count luma into one) and the table that
// equalises it.
#pragma once

#include <cstdint>
#include <cstring>

#include "CLUT_BASE.h"

namespace RasterGraphics {

template <typename count_t = UInt32> class T_HISTOGRAM
{
public:
    static constexpr int kBins = 256;

    T_HISTOGRAM() { Clear(); }

    void Clear() { std::memset(mBins, 0, sizeof(mBins)); }
    void Count(UInt8 in_value) { ++mBins[in_value]; }
    count_t operator[](UInt8 in_value) const { return mBins[in_value]; }
    uint64_t Total() const
    {
        uint64_t total = 0;
        for (count_t bin : mBins)
            total += bin;
        return total;
    }

    // The table that spreads the counted values evenly over in_low..in_high (2vuy luma lives in
    // the studio range 16..235). Value v maps to
    //     in_low + round((in_high - in_low) * (C(v) - C0) / (N - C0)),
    // C(v) the count of values up to v, C0 that of the lowest value present and N the total;
    // halves round up, and values below the lowest present map to in_low. With nothing to
    // spread (no values, or all one value) the table is the identity. False, with the table
    // left alone, when in_low > in_high.
    bool GetEqualized(CLUT_BASE& out_table, UInt8 in_low = 16, UInt8 in_high = 235) const
    {
        if (in_low > in_high)
            return false;
        const uint64_t total = Total();
        int lowest = 0;
        while (lowest < kBins && mBins[lowest] == 0)
            ++lowest;
        if (lowest == kBins || uint64_t(mBins[lowest]) == total) {
            out_table.SetIdentity();
            return true;
        }
        const uint64_t first = mBins[lowest];
        const uint64_t spread = total - first;
        const uint64_t range = uint64_t(in_high - in_low);
        uint64_t cumulative = 0;
        for (int v = 0; v < kBins; ++v) {
            cumulative += mBins[v];
            const uint64_t above = v < lowest ? 0 : cumulative - first;
            out_table.mTable[v] = UInt8(in_low + (2 * range * above + spread) / (2 * spread));
        }
        return true;
    }

    count_t mBins[kBins];
};

} // namespace RasterGraphics
