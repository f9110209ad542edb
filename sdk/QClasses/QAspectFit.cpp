#include "QAspectFit.h"

#include <cstdint>

QAspectFit QAspectFit::Inside(int in_pictureWidth, int in_pictureHeight, int in_frameWidth,
                              int in_frameHeight)
{
    if (in_pictureWidth <= 0 || in_pictureHeight <= 0 || in_frameWidth <= 0 || in_frameHeight <= 0)
        return {};
    // Cross-multiplied in 64 bits: exact, and no ratio rounds a 4:3 picture into a 1-pixel bar.
    const int64_t across = int64_t(in_frameWidth) * in_pictureHeight;
    const int64_t down = int64_t(in_frameHeight) * in_pictureWidth;
    QAspectFit fit;
    if (across <= down) { // as wide as the frame
        fit.width = in_frameWidth;
        fit.height = int((across + in_pictureWidth / 2) / in_pictureWidth);
    } else {
        fit.height = in_frameHeight;
        fit.width = int((down + in_pictureHeight / 2) / in_pictureHeight);
    }
    fit.x = (in_frameWidth - fit.width) / 2;
    fit.y = (in_frameHeight - fit.height) / 2;
    return fit;
}
