#include "FileFrameOutput.h"
