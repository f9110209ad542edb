#include "shared_gworld_memory.h"

#include <bit>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>

#include "CoreMachDebugLog.h"

namespace {

// A word formed by four bytes as they lie in memory, so the file compares the same on any
// byte order.
constexpr UInt32 WordOfBytes(const char (&bytes)[5])
{
    const UInt32 b0 = UInt8(bytes[0]), b1 = UInt8(bytes[1]), b2 = UInt8(bytes[2]),
                 b3 = UInt8(bytes[3]);
    return std::endian::native == std::endian::little ? (b3 << 24) | (b2 << 16) | (b1 << 8) | b0
                                                      : (b0 << 24) | (b1 << 16) | (b2 << 8) | b3;
}

constexpr size_t kWordIndex(size_t offset)
{
    return offset / sizeof(UInt32);
}

// The selector and connections word are shared with other processes without a lock: single
// aligned loads and stores, which other threads of this process see in order too.
UInt32 LoadWord(UInt32* memory, size_t offset)
{
    return std::atomic_ref<UInt32>(memory[kWordIndex(offset)]).load(std::memory_order_acquire);
}

void StoreWord(UInt32* memory, size_t offset, UInt32 value)
{
    std::atomic_ref<UInt32>(memory[kWordIndex(offset)]).store(value, std::memory_order_release);
}

// A record lock on one byte: the token of a buffer lock's holder. 0, or why it was refused.
int SetToken(int fd, off_t offset, short type)
{
    struct flock token = {};
    token.l_type = type;
    token.l_whence = SEEK_SET;
    token.l_start = offset;
    token.l_len = 1;
    if (fd == -1)
        return EBADF;
    return fcntl(fd, F_OFD_SETLK, &token) == 0 ? 0 : errno;
}

// Whether another open of the file holds the token: its holder is alive.
bool TokenHeldElsewhere(int fd, off_t offset)
{
    struct flock probe = {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = offset;
    probe.l_len = 1;
    // When the question cannot be asked, assume a holder: restoring a live lock is worse.
    return fd == -1 || fcntl(fd, F_OFD_GETLK, &probe) != 0 || probe.l_type != F_UNLCK;
}

std::atomic<SharedGWorldMemory::LockStepProc> sLockStepHook{nullptr};

void AtLockStep(SharedGWorldMemory::LockStep step, int index)
{
    if (SharedGWorldMemory::LockStepProc hook = sLockStepHook.load())
        hook(step, index);
}

// The coarse clock is read without a system call.
SInt64 CoarseMilliseconds()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return SInt64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Counts a thread of this process as busy with one lock for as long as it is in scope.
class BusyWithLock
{
public:
    explicit BusyWithLock(std::atomic<int>& io_busy) : mBusy(io_busy) { ++mBusy; }
    ~BusyWithLock() { --mBusy; }
    BusyWithLock(const BusyWithLock&) = delete;
    BusyWithLock& operator=(const BusyWithLock&) = delete;

private:
    std::atomic<int>& mBusy;
};

} // namespace

SharedGWorldMemory::LockStepProc SharedGWorldMemory::SetLockStepHook(LockStepProc in_hook)
{
    return sLockStepHook.exchange(in_hook);
}

const UInt32 SharedGWorldMemory::kApplicationSignature = WordOfBytes("Plx3");
const UInt32 SharedGWorldMemory::kApplicationVersion = WordOfBytes("00.1");

SharedGWorldMemory::SharedGWorldMemory() : _sharedMemory(nullptr) {}

SharedGWorldMemory::~SharedGWorldMemory()
{
    // A holder that goes away gives its locks back; the members then close in reverse order.
    for (int index = 0; index < kMaxBufferCount; ++index)
        Release(index);
}

// Other threads take the view as open once they see the pointer, so it is stored last, after
// the semaphores they will lock.
bool SharedGWorldMemory::PublishView(bool in_semaphoresOpen)
{
    if (!_mappedFile.IsOpen()) {
        _sharedMemory.store(nullptr, std::memory_order_release);
        return false;
    }
    _sharedMemory.store(static_cast<UInt32*>(_mappedFile.GetBase()), std::memory_order_release);
    return in_semaphoresOpen;
}

bool SharedGWorldMemory::IsOpenWriteView()
{
    mWriter.store(true, std::memory_order_relaxed);
    if (_sharedMemory.load(std::memory_order_acquire))
        return true;
    std::lock_guard<std::mutex> lock(mOpenMutex);
    if (_mappedFile.IsOpen())
        return true;

    // An existing file keeps its header, selector and connections word: readers go on seeing
    // the last frame of an earlier run until a new one is published.
    if (_mappedFile.OpenReadWrite(sFileMappingPath, kSharedMemoryFileSize))
        return PublishView(OpenSemaphores());
    if (!_mappedFile.CreateReadWrite(sFileMappingPath, kSharedMemoryFileSize))
        return false;

    UInt32* memory = static_cast<UInt32*>(_mappedFile.GetBase());
    if (memory && _mappedFile.GetProtection() == CoreMappedFile::kProtectReadWrite) {
        memory[kWordIndex(kSharedMemorySignatureOffset)] = kApplicationSignature;
        memory[kWordIndex(kSharedMemoryVersionOffset)] = kApplicationVersion;
        memory[kWordIndex(kSharedMemoryTrailingSignatureOffset)] = kApplicationSignature;
    }
    bool fOk;
    VERIFY(fOk = OpenSemaphores());
    return PublishView(fOk);
}

bool SharedGWorldMemory::OpenReadWriteView()
{
    if (_sharedMemory.load(std::memory_order_acquire))
        return true;
    std::lock_guard<std::mutex> lock(mOpenMutex);
    if (_mappedFile.IsOpen())
        return true;
    if (!_mappedFile.OpenReadWrite(sFileMappingPath, kSharedMemoryFileSize))
        return false;
    return PublishView(OpenSemaphores());
}

bool SharedGWorldMemory::OpenReadView()
{
    if (_sharedMemory.load(std::memory_order_acquire))
        return true;
    std::lock_guard<std::mutex> lock(mOpenMutex);
    if (_mappedFile.IsOpen())
        return true;
    if (!_mappedFile.OpenRead(sFileMappingPath))
        return false;
    // Mapped at the file's own length: the whole layout must lie inside it.
    if (_mappedFile.GetSize() < kSharedMemoryFileSize) {
        _mappedFile.Close();
        return false;
    }
    return PublishView(OpenSemaphores());
}

bool SharedGWorldMemory::OpenSemaphores()
{
    const bool fOk0 = _semaphore0.OpenCreateForUser(sSemaphoreNames[0]);
    const bool fOk1 = _semaphore1.OpenCreateForUser(sSemaphoreNames[1]);
    return fOk0 && fOk1;
}

bool SharedGWorldMemory::CloseSemaphores()
{
    const bool fOk0 = _semaphore0.Close();
    const bool fOk1 = _semaphore1.Close();
    return fOk0 && fOk1;
}

bool SharedGWorldMemory::Close()
{
    std::lock_guard<std::mutex> lock(mOpenMutex);
    return CloseLocked();
}

bool SharedGWorldMemory::ReopenIfReplaced()
{
    std::lock_guard<std::mutex> lock(mOpenMutex);
    if (!_mappedFile.IsOpen() || mWriter || mHeld[0] || mHeld[1])
        return false;
    // A view that touched a file cut short holds zeros of its own: nothing more to show.
    if (_mappedFile.Faulted())
        return CloseLocked();
    struct stat mapped, named;
    if (fstat(_mappedFile.GetFileDescriptor(), &mapped) != 0)
        return false;
    // A file that is gone leaves the view as it is: its last frame is still there to show.
    if (lstat(sFileMappingPath, &named) != 0)
        return false;
    if (mapped.st_dev == named.st_dev && mapped.st_ino == named.st_ino)
        return false;
    return CloseLocked();
}

bool SharedGWorldMemory::IsCurrentWriteView()
{
    std::lock_guard<std::mutex> lock(mOpenMutex);
    if (!_mappedFile.IsOpen())
        return false;
    bool theChannelFile = !_mappedFile.Faulted();
    const SInt64 nowMs = CoarseMilliseconds();
    if (theChannelFile && nowMs - mFileCheckedMs >= kFileCheckMs) {
        // The file was opened with one name only: without one it was deleted or replaced.
        struct stat mapped;
        theChannelFile = fstat(_mappedFile.GetFileDescriptor(), &mapped) == 0 &&
                         mapped.st_nlink > 0 && mapped.st_size >= off_t(kSharedMemoryFileSize);
        mFileCheckedMs = nowMs;
    }
    if (!VERIFY(theChannelFile))
        CloseLocked();
    return theChannelFile;
}

bool SharedGWorldMemory::CloseLocked()
{
    for (int index = 0; index < kMaxBufferCount; ++index)
        Release(index);
    const bool wasOpen = _sharedMemory.exchange(nullptr) != nullptr || _mappedFile.IsOpen();
    _mappedFile.Close(); // drops the record locks: kept tokens too
    mFileCheckedMs = kNeverChecked;
    for (std::atomic<bool>& keeps : mKeepsToken)
        keeps = false;
    _semaphore0.Close();
    _semaphore1.Close();
    return wasOpen;
}

bool SharedGWorldMemory::IsValidView() const
{
    UInt32* memory = _sharedMemory.load(std::memory_order_acquire);
    return memory && LoadWord(memory, kSharedMemorySignatureOffset) == kApplicationSignature &&
           LoadWord(memory, kSharedMemoryVersionOffset) == kApplicationVersion;
}

bool SharedGWorldMemory::IsReadable() const
{
    const int protection = _mappedFile.GetProtection();
    return IsValidView() && (protection == CoreMappedFile::kProtectReadOnly ||
                             protection == CoreMappedFile::kProtectReadWrite);
}

bool SharedGWorldMemory::IsWritable() const
{
    return IsValidView() && _mappedFile.GetProtection() == CoreMappedFile::kProtectReadWrite;
}

int SharedGWorldMemory::BufferIndex(const void* in_buffer) const
{
    const UInt8* memory =
        reinterpret_cast<const UInt8*>(_sharedMemory.load(std::memory_order_acquire));
    if (!memory || !in_buffer)
        return -1;
    if (in_buffer == memory + kSharedMemoryFrameBuffer0Offset)
        return 0;
    if (in_buffer == memory + kSharedMemoryFrameBuffer1Offset)
        return 1;
    return -1;
}

UInt8* SharedGWorldMemory::GetCurrentReadBuffer() const
{
    // With connections refused by the broadcaster, readers find no frame, as before a broadcast.
    if (!IsReadable() || !AllowCameraConnection(1))
        return nullptr;
    UInt32* memory = _sharedMemory.load(std::memory_order_acquire);
    UInt8* bytes = reinterpret_cast<UInt8*>(memory);
    switch (LoadWord(memory, kSharedMemorySelectorOffset)) {
    case kSharedMemoryCurrentBuffer0:
        return bytes + kSharedMemoryFrameBuffer0Offset;
    case kSharedMemoryCurrentBuffer1:
        return bytes + kSharedMemoryFrameBuffer1Offset;
    default:
        return nullptr;
    }
}

UInt8* SharedGWorldMemory::GetWriteBuffer_N(int n) const
{
    if (!IsWritable())
        return nullptr;
    UInt8* bytes = reinterpret_cast<UInt8*>(_sharedMemory.load(std::memory_order_acquire));
    if (n == 0)
        return bytes + kSharedMemoryFrameBuffer0Offset;
    if (n == 1)
        return bytes + kSharedMemoryFrameBuffer1Offset;
    return nullptr;
}

bool SharedGWorldMemory::SetCurrentWriteBuffer(const void* in_buffer) const
{
    if (!IsWritable())
        return false;
    UInt32 selector;
    if (!in_buffer)
        selector = kSharedMemoryNoCurrentBuffer;
    else if (BufferIndex(in_buffer) == 0)
        selector = kSharedMemoryCurrentBuffer0;
    else if (BufferIndex(in_buffer) == 1)
        selector = kSharedMemoryCurrentBuffer1;
    else
        return false;
    StoreWord(_sharedMemory.load(std::memory_order_acquire), kSharedMemorySelectorOffset, selector);
    return true;
}

void SharedGWorldMemory::SetAllowCameraConnections(UInt32 in_value) const
{
    if (IsWritable())
        StoreWord(_sharedMemory.load(std::memory_order_acquire), kSharedMemoryConnectionsOffset,
                  in_value);
}

bool SharedGWorldMemory::AllowCameraConnection(UInt32 in_connection) const
{
    if (!IsReadable())
        return false;
    const UInt32 limit =
        LoadWord(_sharedMemory.load(std::memory_order_acquire), kSharedMemoryConnectionsOffset);
    if (limit == kSharedMemoryConnectionsRefused)
        return false;
    return limit == kSharedMemoryConnectionsAllowed || in_connection <= limit;
}

CoreUnixSemaphore* SharedGWorldMemory::SemaphoreForBuffer(const void* in_buffer)
{
    switch (BufferIndex(in_buffer)) {
    case 0:
        return &_semaphore0;
    case 1:
        return &_semaphore1;
    default:
        return nullptr;
    }
}

// A holder without a token would look dead to the writer, so the lock is had only with it. A
// token refused because the writer holds that byte means the writer took this lock over as
// abandoned: the count this thread took is the writer's now, and giving it back would let a
// second holder in.
bool SharedGWorldMemory::TakeToken(CoreUnixSemaphore& io_semaphore, int in_index)
{
    AtLockStep(kLockStepBeforeToken, in_index);
    const int error = mKeepsToken[in_index] ? 0
                                            : SetToken(_mappedFile.GetFileDescriptor(),
                                                       kHolderTokenOffset + in_index, F_RDLCK);
    if (error == 0) {
        mHeld[in_index].store(true);
        return true;
    }
    if (error != EAGAIN && error != EACCES)
        GiveBack(io_semaphore);
    return false;
}

// Posts only a count of 0: one above 1 would let two holders in at once, for good.
bool SharedGWorldMemory::GiveBack(CoreUnixSemaphore& io_semaphore)
{
    int count = -1;
    if (!VERIFY(io_semaphore.GetValue(&count) && count == 0))
        return false;
    return io_semaphore.Post();
}

// Posts before the token goes, so no one ever sees this lock taken without a live holder. The
// writer keeps its token: only the writer takes locks over, never its own, so its token between
// frames costs nothing and saves two system calls a frame.
bool SharedGWorldMemory::Release(int in_index)
{
    if (!mHeld[in_index].exchange(false))
        return false;
    const int fd = _mappedFile.GetFileDescriptor();
    // A lock taken over holds the byte for writing; as a plain token, the next holder may join.
    if (mTakenOver[in_index].exchange(false))
        SetToken(fd, kHolderTokenOffset + in_index, F_RDLCK);
    const bool fOk = GiveBack(SemaphoreAt(in_index));
    AtLockStep(kLockStepAfterPost, in_index);
    if (mWriter.load(std::memory_order_relaxed))
        mKeepsToken[in_index] = true;
    else
        SetToken(fd, kHolderTokenOffset + in_index, F_UNLCK);
    return fOk;
}

// Only the single writer takes over a lock whose holder died, and only one still abandoned (count
// 0, no token) after a grace: a live holder between its wait and its token takes it meanwhile.
// The writer then holds the token byte for writing, so a holder still on its way in is refused
// its token and leaves; the count is never raised, so it never passes 1.
bool SharedGWorldMemory::TakeOverAbandonedLock(int in_index)
{
    // Another thread of this process on this lock shares the file's record locks: it could be a
    // holder on its way in that no token shows.
    if (!mWriter.load(std::memory_order_relaxed) || mHeld[in_index].load() || mBusy[in_index] > 1)
        return false;
    const int fd = _mappedFile.GetFileDescriptor();
    const off_t token = kHolderTokenOffset + in_index;
    CoreUnixSemaphore& semaphore = SemaphoreAt(in_index);
    int count = -1;
    if (TokenHeldElsewhere(fd, token) || !semaphore.GetValue(&count) || count != 0)
        return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kRestoreGraceMs));
    AtLockStep(kLockStepBeforeTakeOver, in_index);
    if (SetToken(fd, token, F_WRLCK) != 0)
        return false; // a live holder has its token
    if (!semaphore.GetValue(&count) || count != 0 || mHeld[in_index].load() ||
        mBusy[in_index] > 1) {
        SetToken(fd, token, mKeepsToken[in_index] ? F_RDLCK : F_UNLCK);
        return false;
    }
    mTakenOver[in_index].store(true);
    mHeld[in_index].store(true);
    CoreMachDebugLog("LockFrameBufferPtr: the holder of frame buffer %d is gone; lock restored\n",
                     in_index);
    return true;
}

bool SharedGWorldMemory::LockWithinLimit(CoreUnixSemaphore& io_semaphore, int in_index)
{
    BusyWithLock busy(mBusy[in_index]);
    if (io_semaphore.TimedWait(kFrameLockWaitMs))
        return TakeToken(io_semaphore, in_index);
    if (TakeOverAbandonedLock(in_index))
        return true;
    // Freed while the writer looked.
    return io_semaphore.TryWait() && TakeToken(io_semaphore, in_index);
}

bool SharedGWorldMemory::LockFrameBufferPtr(const void* in_buffer)
{
    // The writer locks before it writes: the one place a file gone under it must be seen.
    if (mWriter.load(std::memory_order_relaxed) && !IsCurrentWriteView())
        return false;
    CoreUnixSemaphore* semaphore = SemaphoreForBuffer(in_buffer);
    if (!semaphore)
        return false;
    const int index = BufferIndex(in_buffer);
    bool fOk;
    VERIFY(fOk = LockWithinLimit(*semaphore, index));
    return fOk;
}

bool SharedGWorldMemory::TryLockFrameBufferPtr(const void* in_buffer)
{
    CoreUnixSemaphore* semaphore = SemaphoreForBuffer(in_buffer);
    if (!semaphore)
        return false;
    const int index = BufferIndex(in_buffer);
    BusyWithLock busy(mBusy[index]);
    return semaphore->TryWait() && TakeToken(*semaphore, index);
}

bool SharedGWorldMemory::UnLockFrameBufferPtr(const void* in_buffer)
{
    if (!SemaphoreForBuffer(in_buffer))
        return false;
    const int index = BufferIndex(in_buffer);
    bool fOk;
    {
        BusyWithLock busy(mBusy[index]);
        fOk = Release(index);
    }
    // Pixels that went to the guard's zeros are no frame. The writer reports it and lets the
    // view go, so its next open makes the file anew; a reader lets go in ReopenIfReplaced.
    if (_mappedFile.Faulted()) {
        if (mWriter.load(std::memory_order_relaxed))
            IsCurrentWriteView();
        return false;
    }
    return fOk;
}

bool import_SharedGWorldMemory()
{
    return import_CoreMappedFile() && import_CoreUnixSemaphore();
}
