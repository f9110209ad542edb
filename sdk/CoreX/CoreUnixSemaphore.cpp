#include "CoreUnixSemaphore.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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

// Whether the file glibc keeps a named semaphore in is this user's alone. Anybody can make a
// name in /dev/shm first, to hold or post another user's locks, so a file of someone else's, or
// one others may open, is reported by its owner. A missing file passes when in_absentIsOwn.
static bool IsOwnSemaphoreFile(const char* in_semaphore_name, bool in_absentIsOwn)
{
    const std::string file =
        "/dev/shm/sem." + std::string(in_semaphore_name + (in_semaphore_name[0] == '/'));
    struct stat info;
    if (lstat(file.c_str(), &info) != 0) {
        if (errno == ENOENT && in_absentIsOwn)
            return true;
        CoreMachDebugLog("OpenCreateForUser: %s cannot be checked (%s): not used\n", file.c_str(),
                         strerror(errno));
        return false;
    }
    if (S_ISREG(info.st_mode) && info.st_uid == geteuid() && (info.st_mode & 077) == 0)
        return true;
    char names[1024];
    struct passwd entry, *owner = nullptr;
    getpwuid_r(info.st_uid, &entry, names, sizeof(names), &owner);
    const std::string ownerName = owner ? owner->pw_name : "user " + std::to_string(info.st_uid);
    CoreMachDebugLog("OpenCreateForUser: %s belongs to %s with mode %03o, not to this user "
                     "alone: not used\n",
                     file.c_str(), ownerName.c_str(), unsigned(info.st_mode & 07777));
    return false;
}

bool CoreUnixSemaphore::OpenCreateForUser(const char* in_semaphore_name)
{
    if (IsOpen() || !in_semaphore_name)
        return false;
    // A cut name could be another user's semaphore, so a long one is refused.
    if (!VERIFY(strlen(in_semaphore_name) <= max_name_length))
        return false;
    if (!IsOwnSemaphoreFile(in_semaphore_name, true))
        return false;
    // clang-format off
    if (!VERIFY(_semaphore_id=sem_open(in_semaphore_name,O_CREAT,user_permissions_mode,initial_semaphore_value)))
        return false;
    // clang-format on
    // sem_open gives no descriptor to check, so the name is looked at again: a stranger's
    // semaphore made between the first look and the open is let go unused.
    if (!IsOwnSemaphoreFile(in_semaphore_name, false)) {
        Close();
        return false;
    }
    return true;
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
    // A free semaphore, the common case, costs no clock reads.
    if (sem_trywait(_semaphore_id) == 0)
        return true;
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
