#include "CoreUnixSemaphore.h"

#include <fcntl.h>

#include "CoreMachDebugLog.h"

// The open check below reads the handle as a boolean: that needs the failure value to be null.
static_assert(SEM_FAILED == nullptr);

CoreUnixSemaphore::CoreUnixSemaphore()
{
    Init();
}

CoreUnixSemaphore::~CoreUnixSemaphore()
{
    Close();
}

void CoreUnixSemaphore::Init()
{
    _semaphore_id = SEM_FAILED;
}

bool CoreUnixSemaphore::OpenCreate(const char* in_semaphore_name)
{
    if (IsOpen() || !in_semaphore_name)
        return false;
    // clang-format off
    return VERIFY(_semaphore_id=sem_open(in_semaphore_name,O_CREAT,global_permissions_mode,initial_semaphore_value));
    // clang-format on
}

bool CoreUnixSemaphore::IsOpen() const
{
    return _semaphore_id != SEM_FAILED;
}

bool CoreUnixSemaphore::Wait() const
{
    return IsOpen() && sem_wait(_semaphore_id) == 0;
}

bool CoreUnixSemaphore::TryWait() const
{
    return IsOpen() && sem_trywait(_semaphore_id) == 0;
}

bool CoreUnixSemaphore::Post() const
{
    return IsOpen() && sem_post(_semaphore_id) == 0;
}

bool CoreUnixSemaphore::Close()
{
    if (!IsOpen())
        return false;
    const bool fOk = sem_close(_semaphore_id) == 0;
    _semaphore_id = SEM_FAILED;
    return fOk;
}

bool import_CoreUnixSemaphore()
{
    return import_CoreMachDebugLog();
}
