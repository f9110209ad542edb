#include "NSDatazer.h"

#include <cstddef>

#include "CoreMachDebugLog.h"

// The empty object, as the report texts spell it.
static constexpr std::nullptr_t nil = nullptr;

CFMutableDataRef NSDatazer::dataWithNSDataBytes(const void* bytes, size_t length)
{
    CFMutableDataRef result = (bytes || length == 0) && length <= size_t(CFIndex(1) << 30)
                                  ? CFDataCreateMutable(kCFAllocatorDefault, CFIndex(length))
                                  : nullptr;
    // clang-format off
    if (!VERIFY_AT("+[NSMutableData(NSDatazer) dataWithNSDataBytes:length:]", result!=nil))
        return nullptr;
    // clang-format on
    CFDataAppendBytes(result, static_cast<const UInt8*>(bytes), CFIndex(length));
    return result;
}

CFMutableDataRef NSDatazer::dataWithNSData(CFDataRef data)
{
    return dataWithNSDataBytes(CFDataGetBytePtr(data), size_t(CFDataGetLength(data)));
}

CFMutableDataRef NSDatazer::dataWithNSDatazerBytes(const void* bytes, size_t length)
{
    CFMutableDataRef result = dataWithNSDataBytes(bytes, length);
    if (result)
        transform(result);
    return result;
}

bool NSDatazer::transform(CFMutableDataRef data)
{
    DatazerTransform(CFDataGetMutableBytePtr(data), size_t(CFDataGetLength(data)));
    return true;
}

void DatazerTransform(uint8_t* bytes, size_t length)
{
    for (size_t n = 0; n < length; ++n)
        bytes[n] = uint8_t((bytes[n] << 4) | (bytes[n] >> 4));
}

bool import_NSDatazer()
{
    return import_CoreMachDebugLog();
}
