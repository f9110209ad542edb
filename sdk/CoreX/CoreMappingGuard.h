// Keeps a shared file mapping from killing its process when another process cuts the file
// short: a touch past the file's end raises SIGBUS, whoever touches it (a copy in, a render, a
// copy out, a word read). The guard swaps the watched mapping for private zeros at that fault,
// so the touch completes harmlessly, and remembers that it happened; the owner then drops what
// went through the mapping and maps the file anew. Faults anywhere else go to the handler
// that was there before.
#pragma once

#include <atomic>
#include <cstddef>

class CoreMappingGuard
{
public:
    // Mappings watched at once in one process.
    static constexpr int kMaxWatched = 32;

    CoreMappingGuard() = default;
    ~CoreMappingGuard();
    CoreMappingGuard(const CoreMappingGuard&) = delete;
    CoreMappingGuard& operator=(const CoreMappingGuard&) = delete;

    // Watches the mapping [in_base, in_base + in_size) made with in_protection; false when
    // kMaxWatched are watched already. The handler is installed at the first watch.
    bool Watch(void* in_base, size_t in_size, int in_protection);
    // Stops watching; call it before the range is unmapped.
    void Forget();
    // A touch of the mapping faulted since Watch: it holds this process's own zeros now.
    bool Faulted() const;

private:
    std::atomic<int> mSlot{-1}; // other threads ask Faulted while the owner closes
};

bool import_CoreMappingGuard();
