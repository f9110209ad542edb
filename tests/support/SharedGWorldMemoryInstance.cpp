// The test programs' own instance of what the component defines for itself: the shared frame
// memory object, with no path until a test names its file.
#include "shared_gworld_memory.h"

SharedGWorldMemory SharedGWorldMemory::sSingleton;
const char* SharedGWorldMemory::sFileMappingPath = nullptr;
