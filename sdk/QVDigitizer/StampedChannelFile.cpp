#include "StampedChannelFile.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/futex.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "CoreMachDebugLog.h"
#include "CoreUserFileName.h"
#include "shared_camera_buffer.h"

namespace {

int SetByteLock(int in_fd, uint32_t in_byte, short in_type)
{
    struct flock lock = {};
    lock.l_type = in_type;
    lock.l_whence = SEEK_SET;
    lock.l_start = off_t(in_byte);
    lock.l_len = 1;
    return fcntl(in_fd, F_OFD_SETLK, &lock) == 0 ? 0 : errno;
}

bool HasLayout(StampedChannelHeader& in_header)
{
    return memcmp(in_header.signature, kStampedChannelSignature, sizeof(in_header.signature)) ==
               0 &&
           LoadShared(in_header.version, std::memory_order_acquire) == kStampedChannelVersion;
}

} // namespace

const char* StampedChannelFile::DefaultPath()
{
    static const CoreUserFileName sPath(CFSTR(kSharedMemoryFileNameFormat),
                                        kStampedChannelFrameFormatName);
    return sPath;
}

bool StampedChannelFile::OpenWrite(const std::string& in_path)
{
    if (mFile.IsOpen())
        return true;
    if (!mFile.OpenReadWrite(in_path.c_str(), kStampedChannelFileSize) &&
        !mFile.CreateReadWrite(in_path.c_str(), kStampedChannelFileSize))
        return false;
    // A new file, or one of an earlier version, gets the layout's constants; the version word
    // goes last, so no reader takes a half-written header.
    StampedChannelHeader& header = Header();
    if (!HasLayout(header)) {
        StoreShared(header.version, uint32_t(0), std::memory_order_relaxed);
        memcpy(header.signature, kStampedChannelSignature, sizeof(header.signature));
        header.headerBytes = kStampedChannelHeaderBytes;
        header.bufferBytes = kStampedChannelBufferBytes;
        header.bufferOffset[0] = kStampedChannelBuffer0Offset;
        header.bufferOffset[1] = kStampedChannelBuffer1Offset;
        StoreShared(header.version, uint32_t(kStampedChannelVersion), std::memory_order_release);
    }
    return true;
}

bool StampedChannelFile::OpenRead(const std::string& in_path)
{
    if (mFile.IsOpen())
        return true;
    // Read and write: a reader counts its reads in the header.
    if (!mFile.OpenReadWrite(in_path.c_str(), kStampedChannelFileSize))
        return false;
    if (!HasLayout(Header())) {
        mFile.Close();
        return false;
    }
    return true;
}

bool StampedChannelFile::IsReplaced(const std::string& in_path) const
{
    struct stat mapped, named;
    if (!mFile.IsOpen() || fstat(mFile.GetFileDescriptor(), &mapped) != 0)
        return true;
    return lstat(in_path.c_str(), &named) != 0 || mapped.st_dev != named.st_dev ||
           mapped.st_ino != named.st_ino;
}

uint8_t* StampedChannelFile::Buffer(int in_n) const
{
    return static_cast<uint8_t*>(mFile.GetBase()) +
           (in_n == 0 ? kStampedChannelBuffer0Offset : kStampedChannelBuffer1Offset);
}

bool StampedChannelFile::Lock(uint32_t in_byte, bool in_write)
{
    const int error = SetByteLock(mFile.GetFileDescriptor(), in_byte, in_write ? F_WRLCK : F_RDLCK);
    // Refused is the other side at work; anything else is reported.
    if (error != 0 && error != EAGAIN && error != EACCES)
        VERIFY_ERR(error);
    return error == 0;
}

void StampedChannelFile::Unlock(uint32_t in_byte)
{
    SetByteLock(mFile.GetFileDescriptor(), in_byte, F_UNLCK);
}

bool StampedChannelFile::WriteLockedElsewhere(uint32_t in_byte) const
{
    struct flock probe = {};
    probe.l_type = F_RDLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = off_t(in_byte);
    probe.l_len = 1;
    return mFile.IsOpen() && fcntl(mFile.GetFileDescriptor(), F_OFD_GETLK, &probe) == 0 &&
           probe.l_type == F_WRLCK;
}

// Shared futexes: the word lies in a file mapped by other processes.
void StampedChannelFile::WaitForPublication(uint32_t in_seen, int64_t in_timeoutNs) const
{
    if (in_timeoutNs <= 0)
        return;
    const timespec timeout = {time_t(in_timeoutNs / 1000000000), long(in_timeoutNs % 1000000000)};
    syscall(SYS_futex, &Header().published, FUTEX_WAIT, in_seen, &timeout, nullptr, 0);
}

void StampedChannelFile::WakeReaders() const
{
    syscall(SYS_futex, &Header().published, FUTEX_WAKE, INT32_MAX, nullptr, nullptr, 0);
}

bool import_StampedChannelFile()
{
    return import_CoreMappedFile() && import_CoreUserFileName();
}
