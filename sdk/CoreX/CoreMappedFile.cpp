#include "CoreMappedFile.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CoreMachDebugLog.h"
#include "CoreUnixPath.h"

static_assert(CoreMappedFile::kProtectReadOnly == PROT_READ);
static_assert(CoreMappedFile::kProtectReadWrite == (PROT_READ | PROT_WRITE));

const UInt8 CoreMappedFile::kZeroBlock[64] = {};

CoreMappedFile::CoreMappedFile() : m_fd(-1), m_base(nullptr), m_size(0), m_protection(0) {}

CoreMappedFile::~CoreMappedFile()
{
    Close();
}

// The file sits at a name anybody can plant things at, so only a regular file of this user
// with no other name is taken, never through a link, and never one shorter than the mapping
// (touching a mapping past the end of its file kills the process). O_NONBLOCK keeps an
// open of a FIFO from hanging; it means nothing for regular files.
static int OpenOwnedRegularFile(const char* in_path, int in_flags, off_t in_min_length)
{
    const int fd = open(in_path, in_flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd == -1)
        return -1;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid() ||
        info.st_nlink != 1 || info.st_size < in_min_length) {
        close(fd);
        return -1;
    }
    return fd;
}

bool CoreMappedFile::OpenRead(const char* in_path)
{
    if (IsOpen())
        return false;
    Close();
    if (!CoreUnixPath::FileExistsRead(in_path))
        return false;
    m_fd = OpenOwnedRegularFile(in_path, O_RDONLY, 0);
    if (m_fd == -1)
        return false;
    const off_t length = DiskFile_GetSizeBytes(m_fd);
    if (length < 0)
        return false;
    return MemReadOnly(size_t(length));
}

bool CoreMappedFile::OpenReadWrite(const char* in_path, size_t in_size)
{
    if (IsOpen())
        return false;
    Close();
    if (!CoreUnixPath::FileExistsReadWrite(in_path) || in_size > size_t(INT64_MAX))
        return false;
    m_fd = OpenOwnedRegularFile(in_path, O_RDWR, off_t(in_size));
    if (m_fd == -1)
        return false;
    return MemReadWrite(in_size);
}

bool CoreMappedFile::CreateReadWrite(const char* in_path, size_t in_size)
{
    if (IsOpen())
        return false;
    Close();
    if (!in_path)
        return false;
    // Created for the owner alone; an existing file of ours is truncated only once it has
    // passed the checks, so nothing else is ever cut short.
    m_fd = OpenOwnedRegularFile(in_path, O_RDWR | O_CREAT, 0);
    if (m_fd == -1)
        return false;
    if (fchmod(m_fd, 0600) != 0 || ftruncate(m_fd, 0) != 0) {
        Close();
        return false;
    }
    // A file shorter than its mapping kills the process at the first touch past its end,
    // so a fill that did not complete (a full disk) fails the open.
    if (!VERIFY(DiskFile_ZeroFillData(m_fd, in_size))) {
        Close();
        return false;
    }
    return MemReadWrite(in_size);
}

bool CoreMappedFile::Map(size_t in_size, int in_protection)
{
    if (m_base)
        return false; // one mapping per object; a second would be lost
    void* base = mmap(nullptr, in_size, in_protection, MAP_SHARED, m_fd, 0);
    if (base == MAP_FAILED)
        return false;
    // Unguarded, a file cut short by anyone who can write it would kill this process.
    if (!VERIFY(mGuard.Watch(base, in_size, in_protection))) {
        munmap(base, in_size);
        return false;
    }
    m_base = base;
    m_size = in_size;
    m_protection = in_protection;
    return in_size != 0;
}

bool CoreMappedFile::MemReadOnly(size_t in_size)
{
    return Map(in_size, kProtectReadOnly);
}

bool CoreMappedFile::MemReadWrite(size_t in_size)
{
    return Map(in_size, kProtectReadWrite);
}

static bool WriteAll(int in_fd, const UInt8* in_data, size_t in_count)
{
    while (in_count > 0) {
        const ssize_t written = write(in_fd, in_data, in_count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        in_data += written;
        in_count -= size_t(written);
    }
    return true;
}

bool CoreMappedFile::DiskFile_ZeroFillData(int in_fd, size_t in_size)
{
    for (size_t block = 0; block < in_size / sizeof(kZeroBlock); ++block)
        if (!WriteAll(in_fd, kZeroBlock, sizeof(kZeroBlock)))
            return false;
    return WriteAll(in_fd, kZeroBlock, in_size % sizeof(kZeroBlock));
}

off_t CoreMappedFile::DiskFile_GetSizeBytes(int in_fd)
{
    const off_t position = lseek(in_fd, 0, SEEK_CUR);
    if (position < 0)
        return -1;
    const off_t length = lseek(in_fd, 0, SEEK_END);
    lseek(in_fd, position, SEEK_SET);
    return length;
}

bool CoreMappedFile::DelayToTimespec(double in_seconds, struct timespec& out_delay)
{
    // Anything outside what a timespec can hold is refused rather than converted.
    if (!(in_seconds >= 0.0 && in_seconds < 1e12))
        return false;
    time_t seconds = time_t(in_seconds);
    // Rounded, not truncated: 2.3 - 2 is a hair below 0.3 in binary.
    long nanoseconds = std::lround((in_seconds - double(seconds)) * 1000000000.0);
    if (nanoseconds > 999999999) {
        ++seconds;
        nanoseconds = 0;
    }
    out_delay.tv_sec = seconds;
    out_delay.tv_nsec = nanoseconds;
    return true;
}

bool CoreMappedFile::SyncMemoryDelay(double in_seconds) const
{
    struct timespec delay;
    if (!DelayToTimespec(in_seconds, delay))
        return false;
    return nanosleep(&delay, nullptr) == 0;
}

void CoreMappedFile::Close()
{
    mGuard.Forget();
    if (m_base && m_size != 0) {
        // clang-format off
        VERIFY(0==munmap(m_base, m_size));
        // clang-format on
    }
    m_base = nullptr;
    m_size = 0;
    if (m_fd != -1) {
        close(m_fd);
        m_fd = -1;
    }
}

bool import_CoreMappedFile()
{
    return import_CoreUnixPath() && import_CoreMappingGuard();
}
