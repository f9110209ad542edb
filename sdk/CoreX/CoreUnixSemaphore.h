// A POSIX named semaphore, opened or created with count 1, read/write for everybody or for its
// owner only.
#pragma once

#include <cstddef>
#include <semaphore.h>

class CoreUnixSemaphore
{
public:
    static constexpr int global_permissions_mode = 0666;
    static constexpr int user_permissions_mode = 0600;
    // NAME_MAX less the "sem." that glibc puts before the name in /dev/shm.
    static constexpr size_t max_name_length = 251;
    static constexpr unsigned initial_semaphore_value = 1;

    CoreUnixSemaphore();
    ~CoreUnixSemaphore();
    CoreUnixSemaphore(const CoreUnixSemaphore&) = delete;
    CoreUnixSemaphore& operator=(const CoreUnixSemaphore&) = delete;

    void Init();
    // Joins an existing semaphore of that name with its current count.
    bool OpenCreate(const char* in_semaphore_name);
    // The same for a semaphore of this user's alone: created 0600, so another user can neither
    // open it nor post it. A name longer than max_name_length is refused with a report, and so
    // is a semaphore of that name that is another user's or open to others (a report naming
    // its file and owner); such a one is never used.
    bool OpenCreateForUser(const char* in_semaphore_name);
    bool IsOpen() const;
    // A wait that a signal interrupts answers false; it is not retried.
    bool Wait() const;
    bool TryWait() const;
    // Waits at most in_milliseconds; signals do not shorten the wait. False when it ran out.
    bool TimedWait(int in_milliseconds) const;
    // The current count; false when it cannot be read.
    bool GetValue(int* out_value) const;
    bool Post() const;
    // Closes this process's handle; the named semaphore and its count live on.
    bool Close();

private:
    sem_t* _semaphore_id;
};

bool import_CoreUnixSemaphore();
