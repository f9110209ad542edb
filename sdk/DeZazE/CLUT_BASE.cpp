#include "CLUT_BASE.h"

namespace RasterGraphics {

void CLUT_BASE::SetIdentity()
{
    for (int i = 0; i < kEntries; ++i)
        mTable[i] = UInt8(i);
}

bool CLUT_BASE::IsIdentity() const
{
    for (int i = 0; i < kEntries; ++i)
        if (mTable[i] != i)
            return false;
    return true;
}

} // namespace RasterGraphics

bool import_CLUT_BASE()
{
    return true;
}
