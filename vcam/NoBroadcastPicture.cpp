#include "NoBroadcastPicture.h"
