// A lookup table of 256 bytes: each 8-bit value maps to another. The 4:2:2 copies pass luma
// through one.
#pragma once

#include "MacTypes.h"

namespace RasterGraphics {

class CLUT_BASE
{
public:
    static constexpr int kEntries = 256;

    // The identity: every value maps to itself.
    CLUT_BASE() { SetIdentity(); }

    void SetIdentity();
    bool IsIdentity() const;
    UInt8 Map(UInt8 in_value) const { return mTable[in_value]; }

    UInt8 mTable[kEntries];
};

} // namespace RasterGraphics

bool import_CLUT_BASE();
