#include "V4L2FrameOutput.h"
