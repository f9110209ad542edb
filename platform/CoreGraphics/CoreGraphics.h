// The Core Graphics subset: geometry, colour spaces, providers, images and bitmap contexts.
#pragma once

#include "CGAffineTransform.h"
#include "CGBitmapContext.h"
#include "CGColorSpace.h"
#include "CGContext.h"
#include "CGDataProvider.h"
#include "CGGeometry.h"
#include "CGImage.h"
#include "CGPath.h"
