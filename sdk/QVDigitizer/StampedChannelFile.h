// The stamped channel's file as one process maps it: the header, the two buffers, and the record
// locks on the header's bytes, each open of the file holding its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "CoreMappedFile.h"
#include "stamped_channel_layout.h"

class StampedChannelFile
{
public:
    // The user's stamped channel, beside the classic file.
    static const char* DefaultPath();

    StampedChannelFile() = default;
    StampedChannelFile(const StampedChannelFile&) = delete;
    StampedChannelFile& operator=(const StampedChannelFile&) = delete;

    // The writer's open: the existing file of the layout's length, else a new one.
    bool OpenWrite(const std::string& in_path);
    // A reader's open: only an existing file of the layout.
    bool OpenRead(const std::string& in_path);
    void Close() { mFile.Close(); }
    bool IsOpen() const { return mFile.IsOpen(); }
    // Cut short under the mapping: what went through it since is lost.
    bool Faulted() const { return mFile.Faulted(); }
    // The file has been removed or replaced at in_path since it was opened.
    bool IsReplaced(const std::string& in_path) const;

    StampedChannelHeader& Header() const
    {
        return *static_cast<StampedChannelHeader*>(mFile.GetBase());
    }
    uint8_t* Buffer(int in_n) const;

    // Record locks on one byte, never waiting; false when another open holds it.
    bool Lock(uint32_t in_byte, bool in_write);
    void Unlock(uint32_t in_byte);
    // Whether another open holds the byte for writing.
    bool WriteLockedElsewhere(uint32_t in_byte) const;

    // Waits until the header's publication count is no longer in_seen, at most in_timeoutNs.
    void WaitForPublication(uint32_t in_seen, int64_t in_timeoutNs) const;
    void WakeReaders() const;

private:
    CoreMappedFile mFile;
};

// Words of the shared header, read and written whole by other processes meanwhile.
template <typename T> T LoadShared(T& in_word, std::memory_order in_order)
{
    return std::atomic_ref<T>(in_word).load(in_order);
}
template <typename T> void StoreShared(T& in_word, T in_value, std::memory_order in_order)
{
    std::atomic_ref<T>(in_word).store(in_value, in_order);
}

bool import_StampedChannelFile();
