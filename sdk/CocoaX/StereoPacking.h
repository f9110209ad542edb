// Frame packings for 3-D televisions and headsets, made of the engine's transforms and crops:
// each eye squeezed to half of the frame, side by side or one above the other. The frame is
// the union of the eyes' extents, so two 640 x 480 eyes give one 640 x 480 picture.
#pragma once

#include "CIImage.h"
#include "StereoEncodingList.h"

// Side by side puts the left eye on the left, top and bottom puts it on top; swapEyes exchanges
// the eyes' places. Null for an anaglyph kind or an eye without pixels.
CFPtr<CIImage> StereoPackedImage(const CIImage* leftEye, const CIImage* rightEye,
                                 StereoEncoding::Kind kind, bool swapEyes);

bool import_StereoPacking();
