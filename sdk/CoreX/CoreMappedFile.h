// A disk file mapped shared into memory, so that every process mapping it sees the same bytes.
// Only regular files that belong to this user and have a single name are mapped, never
// through a symbolic link, and never past their end; created files are for the owner alone.
// A file cut short by another process while mapped does not kill this one (CoreMappingGuard).
#pragma once

#include <cstddef>
#include <ctime>
#include <sys/types.h>

#include "CoreMappingGuard.h"
#include "MacTypes.h"

class CoreMappedFile
{
public:
    static constexpr int kProtectReadOnly = 1;
    static constexpr int kProtectReadWrite = 3;

    CoreMappedFile();
    ~CoreMappedFile();
    CoreMappedFile(const CoreMappedFile&) = delete;
    CoreMappedFile& operator=(const CoreMappedFile&) = delete;

    // Opens are refused on an open object; a half-open one (descriptor, no mapping) is
    // closed first, so its descriptor is not lost.
    bool OpenRead(const char* in_path);
    bool OpenReadWrite(const char* in_path, size_t in_size);
    bool CreateReadWrite(const char* in_path, size_t in_size);

    bool MemReadOnly(size_t in_size);
    bool MemReadWrite(size_t in_size);

    // Writes in_size zero bytes at the descriptor's position; false when any write fails.
    static bool DiskFile_ZeroFillData(int in_fd, size_t in_size);
    // The file's length, the position left where it was; -1 on failure.
    static off_t DiskFile_GetSizeBytes(int in_fd);

    bool SyncMemoryDelay(double in_seconds) const;
    // Whole seconds and the nearest nanosecond of the rest; false for a negative, NaN or
    // unrepresentable delay.
    static bool DelayToTimespec(double in_seconds, struct timespec& out_delay);
    void Close();

    bool IsOpen() const { return m_fd != -1 && m_base != nullptr && m_size != 0; }
    void* GetBase() const { return m_base; }
    size_t GetSize() const { return m_size; }
    int GetProtection() const { return m_protection; }
    int GetFileDescriptor() const { return m_fd; }
    // The file was found cut short under the mapping: what went through it since is lost, and
    // the mapping holds this process's own zeros until Close.
    bool Faulted() const { return mGuard.Faulted(); }

private:
    bool Map(size_t in_size, int in_protection);

    int m_fd;
    void* m_base;
    size_t m_size;
    int m_protection;
    CoreMappingGuard mGuard;

    static const UInt8 kZeroBlock[64];
};

bool import_CoreMappedFile();
