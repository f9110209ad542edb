// The base of the bitmap context: no data, only a home for drawing helpers.
#pragma once

#include "CoreGraphics.h"

namespace CoreGraphics {

class PaintContext;

class Context
{
public:
    // Draws the first page of the vector document at path (an SVG picture, a file or a Qt
    // resource) into rect, keeping its aspect ratio, after scaling the context by scale; false
    // with a report when there is no path, no readable document or no page. Defined with the
    // paint context, in p3d_coreg_paint.
    static bool DrawPDF(PaintContext& context, const char* path, CGRect rect, CGSize scale);

protected:
    Context() = default;
    ~Context() = default;
};

} // namespace CoreGraphics

bool import_CoreGraphicsContext();
