// The keys of a dictionary whose keys are strings, for comparing key sets whole.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "CFCollections.h"
#include "CIFilter.h"

namespace p3dtest {

inline std::set<std::string> DictionaryKeys(CFDictionaryRef dictionary)
{
    std::set<std::string> names;
    if (!dictionary)
        return names;
    std::vector<const void*> keys(size_t(CFDictionaryGetCount(dictionary)));
    CFDictionaryGetKeysAndValues(dictionary, keys.data(), nullptr);
    for (const void* key : keys)
        names.insert(CIStringUTF8(CFStringRef(key)));
    return names;
}

} // namespace p3dtest
