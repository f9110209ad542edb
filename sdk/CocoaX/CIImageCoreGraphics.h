// Scaling an image to a size in pixels, each axis on its own.
#pragma once

#include "CIImage.h"

// The image itself when its width or its height already matches, or a scale computes to exactly
// 1; otherwise the image scaled to the size, aspect ratio not kept.
CFPtr<CIImage> CIImageWithSizePixels(const CIImage* image, CGSize size);

bool import_CIImageCoreGraphics();
