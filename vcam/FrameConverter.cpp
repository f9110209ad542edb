#include "FrameConverter.h"
