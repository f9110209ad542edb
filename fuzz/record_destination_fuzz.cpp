// Where to record comes from the user's typing: any text gives a destination that holds together
// or a message, never a crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "RecordDestination.h"
#include "SrtCaller.h"

static void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses the layout.
    const auto layout = RecordLayout(data[0] % 3);
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    RecordDestination destination;
    std::string message;
    if (!ParseRecordDestination(text, layout, destination, message)) {
        Check(!message.empty());
        return 0;
    }
    Check(destination.format != nullptr && destination.location == text);
    SrtAddress address;
    if (destination.isStream && ParseSrtUrl(text, address, message))
        Check(!address.host.empty() && address.port > 0 && address.port <= 65535);
    return 0;
}
