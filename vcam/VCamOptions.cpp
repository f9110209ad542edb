#include "VCamOptions.h"
