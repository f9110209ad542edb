#include "CoreUnixSemaphore.h"

#include <cerrno>
#include <ctime>
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

bool CoreUnixSemaphore::TimedWait(int in_milliseconds) const
{
    if (!IsOpen() || in_milliseconds < 0)
        return false;
    struct timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += in_milliseconds / 1000;
    deadline.tv_nsec += long(in_milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    // The monotonic clock: a change of the wall clock neither ends nor stretches the wait.
    while (sem_clockwait(_semaphore_id, CLOCK_MONOTONIC, &deadline) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

bool CoreUnixSemaphore::GetValue(int* out_value) const
{
    return IsOpen() && out_value && sem_getvalue(_semaphore_id, out_value) == 0;
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
