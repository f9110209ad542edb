#include "VirtualCamera.h"
