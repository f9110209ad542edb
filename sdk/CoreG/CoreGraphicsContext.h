// The base of the bitmap context: no data, only a home for drawing helpers.
#pragma once

#include "CoreGraphics.h"

namespace CoreGraphics {

class Context
{
protected:
    Context() = default;
    ~Context() = default;
};

} // namespace CoreGraphics

bool import_CoreGraphicsContext();
