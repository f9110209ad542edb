// The shared frame memory: the per-user file of two frame buffers, the current-buffer selector
// and the connections word, with one named semaphore per buffer as a lock between processes.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "CoreMappedFile.h"
#include "CoreUnixSemaphore.h"
#include "shared_camera_buffer.h"

class SharedGWorldMemory
{
public:
    static constexpr int kMaxBufferCount = 2;
    static const UInt32 kApplicationSignature; // the bytes "Plx3" as one word
    static const UInt32 kApplicationVersion;   // the bytes "00.1" as one word
    // A buffer lock that cannot be had within this time fails, and that frame is dropped.
    // A frame copy holds a lock for well under a millisecond.
    static constexpr int kFrameLockWaitMs = 250;
    // Where a lock holder keeps its token: a record lock on one byte of the reserved header,
    // which the kernel drops when the holder dies. Nothing is ever written there.
    static constexpr off_t kHolderTokenOffset = 8;
    // How long a lock that looks abandoned must stay so before the writer takes it over: a live
    // holder takes its token right after its wait.
    static constexpr int kRestoreGraceMs = 20;
    // How often at most the writer looks at its file. A file cut short faults into the mapping
    // guard and is seen at that frame's unlock; the look is for a file deleted or replaced, and
    // a system call before every frame would cost a sixth of its copy on some machines.
    static constexpr int kFileCheckMs = 100;

    // The steps inside taking and giving back a lock where another process may look at it.
    enum LockStep {
        kLockStepBeforeToken,   // a holder's wait has returned; its token is not taken yet
        kLockStepAfterPost,     // a holder has posted; its token is not dropped yet
        kLockStepBeforeTakeOver // the writer's grace is over; it is about to take a lock over
    };
    typedef void (*LockStepProc)(LockStep in_step, int in_index);
    // Tests install a procedure called at each step, to hold a process there; null otherwise.
    // Answers the previous one.
    static LockStepProc SetLockStepHook(LockStepProc in_hook);

    SharedGWorldMemory();
    ~SharedGWorldMemory();
    SharedGWorldMemory(const SharedGWorldMemory&) = delete;
    SharedGWorldMemory& operator=(const SharedGWorldMemory&) = delete;

    // The writer's entry: opens the file, or creates it with its header.
    bool IsOpenWriteView();
    // Open an existing file only; a file shorter than the layout is refused.
    bool OpenReadWriteView();
    bool OpenReadView();
    bool OpenSemaphores();
    bool CloseSemaphores();
    // Releases the view and the semaphores, and any buffer lock this process still holds.
    bool Close();
    // A reader's view of a file that has since been replaced at the path (the broadcaster
    // started anew), or that was found cut short, is closed, so the next open maps the file
    // anew. Not while this process holds a buffer or writes; call it where no other thread
    // uses the view.
    bool ReopenIfReplaced();
    // The writer's view while its file still has a name and its length (one fstat, at most
    // every kFileCheckMs). A file deleted, replaced or cut short under the writer (seen here,
    // or by a touch that faulted) is reported and the view closed: writing on would feed no
    // reader. The next writer's open makes a new file.
    bool IsCurrentWriteView();

    UInt8* GetCurrentReadBuffer() const;
    UInt8* GetWriteBuffer_N(int n) const;
    bool SetCurrentWriteBuffer(const void* in_buffer) const;
    void SetAllowCameraConnections(UInt32 in_value) const;
    bool AllowCameraConnection(UInt32 in_connection) const;

    CoreUnixSemaphore* SemaphoreForBuffer(const void* in_buffer);
    // Waits at most kFrameLockWaitMs. In the writer, a lock whose holder is gone is taken over.
    bool LockFrameBufferPtr(const void* in_buffer);
    bool TryLockFrameBufferPtr(const void* in_buffer);
    // Only a buffer this process holds is unlocked: a stray unlock would let two in at once.
    // False also when the file was found cut short while the buffer was held: what was written
    // or read then is lost, and a writer's view is closed.
    bool UnLockFrameBufferPtr(const void* in_buffer);

    static SharedGWorldMemory sSingleton;
    static const char* sFileMappingPath;
    // The user's own lock of each buffer, named after the same user as the file.
    static const char* sSemaphoreNames[kMaxBufferCount];

private:
    bool PublishView(bool in_semaphoresOpen);
    bool CloseLocked();
    bool IsValidView() const;
    bool IsReadable() const;
    bool IsWritable() const;
    // 0 or 1 for the address of a frame buffer in this process, else -1.
    int BufferIndex(const void* in_buffer) const;
    CoreUnixSemaphore& SemaphoreAt(int in_index)
    {
        return in_index == 0 ? _semaphore0 : _semaphore1;
    }
    bool LockWithinLimit(CoreUnixSemaphore& io_semaphore, int in_index);
    bool TakeOverAbandonedLock(int in_index);
    bool TakeToken(CoreUnixSemaphore& io_semaphore, int in_index);
    bool GiveBack(CoreUnixSemaphore& io_semaphore);
    bool Release(int in_index);

    std::atomic<UInt32*> _sharedMemory;
    CoreMappedFile _mappedFile;
    CoreUnixSemaphore _semaphore0;
    CoreUnixSemaphore _semaphore1;

    static constexpr SInt64 kNeverChecked = INT64_MIN / 2;

    std::mutex mOpenMutex;                 // opening and closing the view, from any thread
    SInt64 mFileCheckedMs = kNeverChecked; // when IsCurrentWriteView last looked; under mOpenMutex
    std::atomic<bool> mWriter{false};      // this process has opened the writer's view
    std::atomic<bool> mHeld[2] = {};       // this process holds that buffer's lock
    std::atomic<bool> mTakenOver[2] = {};  // ... taken over: its token byte is held for writing
    std::atomic<bool> mKeepsToken[2] = {}; // the writer's token of that buffer, held between locks
    std::atomic<int> mBusy[2] = {}; // threads of this process taking or giving back that lock
};

bool import_SharedGWorldMemory();
