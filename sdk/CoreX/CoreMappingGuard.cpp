#include "CoreMappingGuard.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <sys/mman.h>
#include <thread>

#include "CoreMachDebugLog.h"

namespace {

// The handler reads the slots, so everything in them is a lock-free atomic.
enum SlotState { kFree, kBusy, kWatched };

struct Slot
{
    std::atomic<int> state{kFree};
    std::atomic<uintptr_t> base{0};
    std::atomic<size_t> size{0};
    std::atomic<int> protection{0};
    std::atomic<bool> faulted{false};
    std::atomic<int> handlers{0}; // handlers looking at this slot right now
};
static_assert(std::atomic<uintptr_t>::is_always_lock_free &&
              std::atomic<size_t>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

Slot sSlots[CoreMappingGuard::kMaxWatched];
struct sigaction sPrevious;
std::atomic<bool> sInstalled{false};

// A fault that is not ours ends as it would have without the guard.
void PassOn(int in_signal, siginfo_t* in_info, void* in_context)
{
    if (sPrevious.sa_flags & SA_SIGINFO) {
        sPrevious.sa_sigaction(in_signal, in_info, in_context);
    } else if (sPrevious.sa_handler == SIG_DFL) {
        // The signal is blocked while this runs: it arrives, and kills, on return.
        sigaction(SIGBUS, &sPrevious, nullptr);
        raise(SIGBUS);
    } else if (sPrevious.sa_handler != SIG_IGN) {
        sPrevious.sa_handler(in_signal);
    }
}

// Only an access past the end of a mapped file (not a memory error) inside a watched mapping:
// the whole mapping becomes private zeros, so the access and any after it complete.
void OnBusError(int in_signal, siginfo_t* in_info, void* in_context)
{
    const int savedErrno = errno;
    bool handled = false;
    if (in_info && in_info->si_code == BUS_ADRERR) {
        const auto address = reinterpret_cast<uintptr_t>(in_info->si_addr);
        for (Slot& slot : sSlots) {
            // Counted before the state is read: Forget waits for this count, so the range
            // read next stays the slot's until the handler is done with it.
            ++slot.handlers;
            if (slot.state == kWatched) {
                const uintptr_t base = slot.base;
                const size_t size = slot.size;
                if (address - base < size) {
                    handled = mmap(reinterpret_cast<void*>(base), size, slot.protection,
                                   MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) != MAP_FAILED;
                    if (handled)
                        slot.faulted = true;
                }
            }
            --slot.handlers;
            if (handled)
                break;
        }
    }
    errno = savedErrno;
    if (!handled)
        PassOn(in_signal, in_info, in_context);
}

bool Install()
{
    static std::once_flag sOnce;
    std::call_once(sOnce, [] {
        // The previous action is kept before ours is in place: a fault meanwhile may need it.
        if (sigaction(SIGBUS, nullptr, &sPrevious) != 0)
            return;
        struct sigaction action = {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        sInstalled = sigaction(SIGBUS, &action, nullptr) == 0;
    });
    return sInstalled;
}

// A module that is unloaded (the component is, when broadcasting stops) takes its handler
// with it, so it puts the previous one back while it is still the one in place.
struct Uninstaller
{
    ~Uninstaller()
    {
        struct sigaction current;
        if (sInstalled && sigaction(SIGBUS, nullptr, &current) == 0 &&
            (current.sa_flags & SA_SIGINFO) && current.sa_sigaction == OnBusError)
            sigaction(SIGBUS, &sPrevious, nullptr);
    }
} sUninstaller;

} // namespace

CoreMappingGuard::~CoreMappingGuard()
{
    Forget();
}

bool CoreMappingGuard::Watch(void* in_base, size_t in_size, int in_protection)
{
    if (mSlot != -1 || !in_base || in_size == 0 || !VERIFY(Install()))
        return false;
    for (int index = 0; index < kMaxWatched; ++index) {
        Slot& slot = sSlots[index];
        int free = kFree;
        if (!slot.state.compare_exchange_strong(free, kBusy))
            continue;
        slot.base = reinterpret_cast<uintptr_t>(in_base);
        slot.size = in_size;
        slot.protection = in_protection;
        slot.faulted = false;
        slot.state = kWatched;
        mSlot = index;
        return true;
    }
    return false;
}

void CoreMappingGuard::Forget()
{
    const int index = mSlot.exchange(-1);
    if (index == -1)
        return;
    Slot& slot = sSlots[index];
    slot.state = kBusy;
    // A handler still at work on this range must be done before the range can be unmapped.
    while (slot.handlers != 0)
        std::this_thread::yield();
    slot.state = kFree;
}

bool CoreMappingGuard::Faulted() const
{
    const int index = mSlot;
    return index != -1 && sSlots[index].faulted;
}

bool import_CoreMappingGuard()
{
    return import_CoreMachDebugLog();
}
