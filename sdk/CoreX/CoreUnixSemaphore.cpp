#include "CoreUnixSemaphore.h"

#include <cerrno>
#include <cstring>
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

bool CoreUnixSemaphore::OpenCreateForUser(const char* in_semaphore_name)
{
    if (IsOpen() || !in_semaphore_name)
        return false;
    // A cut name could be another user's semaphore, so a long one is refused.
    if (!VERIFY(strlen(in_semaphore_name) <= max_name_length))
        return false;
    // clang-format off
    return VERIFY(_semaphore_id=sem_open(in_semaphore_name,O_CREAT,user_permissions_mode,initial_semaphore_value));
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
    // sem_timedwait takes a wall-clock deadline, so the wait is cut into short slices and
    // measured on the monotonic clock: a change of the wall clock can stretch one slice, never
    // the whole wait. (It is also the timed wait that race detectors understand.)
    constexpr long kSliceNs = 20 * 1000000L;
    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    while (true) {
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long elapsedNs =
            (now.tv_sec - start.tv_sec) * 1000000000L + (now.tv_nsec - start.tv_nsec);
        const long leftNs = long(in_milliseconds) * 1000000L - elapsedNs;
        if (leftNs <= 0)
            return sem_trywait(_semaphore_id) == 0;
        struct timespec deadline;
        clock_gettime(CLOCK_REALTIME, &deadline);
        deadline.tv_nsec += leftNs < kSliceNs ? leftNs : kSliceNs;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
        if (sem_timedwait(_semaphore_id, &deadline) == 0)
            return true;
        if (errno != ETIMEDOUT && errno != EINTR)
            return false;
    }
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
