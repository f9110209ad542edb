// The test programs' own instance of what the component defines for itself: the shared frame
// memory object, with no path until a test names its file, and this user's semaphore names.
#include "CoreUserFileName.h"
#include "shared_gworld_memory.h"

static CoreUserFileName sSemaphoreName0(CFSTR(kSharedMemorySemaphoreNameFormat),
                                        kSharedMemorySemaphoreNameText0);
static CoreUserFileName sSemaphoreName1(CFSTR(kSharedMemorySemaphoreNameFormat),
                                        kSharedMemorySemaphoreNameText1);

SharedGWorldMemory SharedGWorldMemory::sSingleton;
const char* SharedGWorldMemory::sFileMappingPath = nullptr;
const char* SharedGWorldMemory::sSemaphoreNames[kMaxBufferCount] = {sSemaphoreName0,
                                                                    sSemaphoreName1};
