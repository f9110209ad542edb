// What the component defines for itself, in the order it must be built when it is loaded:
// its log identity first (so that anything reported while loading goes to the system log),
// then the channel's file and semaphore names, then the shared frame memory object, which opens
// nothing yet.
#include "CoreMachDebugLog.h"
#include "CoreUserFileName.h"
#include "shared_gworld_memory.h"

const char* g_CoreMachDebug_LogPrefix = "Parallax3D_XXX";
char* g_CoreMachDebug_LogFileName = CoreDebugBundleLogFileName::sPathName;

static CoreDebugBundleLogFileName sLogFile("Parallax3D_XXX.%s.log", "Parallax3D_XXX.log");

static CoreUserFileName sSharedMemoryFileName(CFSTR(kSharedMemoryFileNameFormat),
                                              kSharedMemoryFrameFormatName);
const char* SharedGWorldMemory::sFileMappingPath = sSharedMemoryFileName;

static CoreUserFileName sSemaphoreName0(CFSTR(kSharedMemorySemaphoreNameFormat),
                                        kSharedMemorySemaphoreNameText0);
static CoreUserFileName sSemaphoreName1(CFSTR(kSharedMemorySemaphoreNameFormat),
                                        kSharedMemorySemaphoreNameText1);
const char* SharedGWorldMemory::sSemaphoreNames[kMaxBufferCount] = {sSemaphoreName0,
                                                                    sSemaphoreName1};

SharedGWorldMemory SharedGWorldMemory::sSingleton;
