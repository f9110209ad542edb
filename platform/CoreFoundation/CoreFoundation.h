#pragma once

#include "CFBase.h"
#include "CFBundle.h"
#include "CFCollections.h"
#include "CFNumber.h"
#include "CFString.h"
#include "CFURL.h"
