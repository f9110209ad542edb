#pragma once

#include "CFBase.h"
#include "CFNumber.h"
#include "CFString.h"
#include "CFURL.h"
