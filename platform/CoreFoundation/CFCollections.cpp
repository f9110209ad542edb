#include "CFCollections.h"

#include <cstring>
#include <vector>

#include "CFRuntime.h"
#include "CFString.h"

const CFArrayCallBacks kCFTypeArrayCallBacks = {0};
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {0};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0};

namespace {

// Sizes beyond this are refused rather than allocated: no caller needs a gigabyte of data.
constexpr CFIndex kMaxCount = CFIndex(1) << 30;

// Descriptions of the elements, each as its %@ text would read.
std::u16string Describe(CFTypeRef value)
{
    const p3dcf::Object* object = p3dcf::ObjectFromRef(value);
    return object ? object->formatDescription() : u"(null)";
}

} // namespace

struct __CFArray final : p3dcf::Object
{
    __CFArray() : Object(p3dcf::kArrayTypeID, false) {}
    ~__CFArray() override
    {
        for (CFTypeRef value : values)
            CFRelease(value);
    }
    bool equals(const Object& other) const override
    {
        const auto& o = static_cast<const __CFArray&>(other);
        if (o.values.size() != values.size())
            return false;
        for (size_t i = 0; i < values.size(); ++i)
            if (!CFEqual(values[i], o.values[i]))
                return false;
        return true;
    }
    CFHashCode hash() const override { return values.size(); }
    std::u16string describeContents() const override
    {
        std::u16string text = u"(";
        for (size_t i = 0; i < values.size(); ++i)
            text += (i ? u", " : u"") + Describe(values[i]);
        return text + u")";
    }
    void append(CFTypeRef value) { values.push_back(CFRetain(value)); }

    std::vector<CFTypeRef> values;
};

struct __CFDictionary final : p3dcf::Object
{
    __CFDictionary() : Object(p3dcf::kDictionaryTypeID, false) {}
    ~__CFDictionary() override { clear(); }
    bool equals(const Object& other) const override
    {
        const auto& o = static_cast<const __CFDictionary&>(other);
        if (o.keys.size() != keys.size())
            return false;
        for (size_t i = 0; i < keys.size(); ++i) {
            const CFTypeRef theirs = o.find(keys[i]);
            if (!theirs || !CFEqual(values[i], theirs))
                return false;
        }
        return true;
    }
    CFHashCode hash() const override { return keys.size(); }
    std::u16string describeContents() const override
    {
        std::u16string text = u"{";
        for (size_t i = 0; i < keys.size(); ++i)
            text += (i ? u"; " : u"") + Describe(keys[i]) + u" = " + Describe(values[i]);
        return text + u"}";
    }

    // Attribute dictionaries hold a dozen keys: a linear search beats hashing here.
    long indexOf(CFTypeRef key) const
    {
        const CFHashCode hash = CFHash(key);
        for (size_t i = 0; i < keys.size(); ++i)
            if (keys[i] == key || (CFHash(keys[i]) == hash && CFEqual(keys[i], key)))
                return long(i);
        return -1;
    }
    CFTypeRef find(CFTypeRef key) const
    {
        const long i = indexOf(key);
        return i < 0 ? nullptr : values[size_t(i)];
    }
    void set(CFTypeRef key, CFTypeRef value, bool replace)
    {
        const long i = indexOf(key);
        if (i >= 0) {
            if (!replace)
                return;
            CFRetain(value);
            CFRelease(values[size_t(i)]);
            values[size_t(i)] = value;
            return;
        }
        keys.push_back(CFRetain(key));
        values.push_back(CFRetain(value));
    }
    void remove(CFTypeRef key)
    {
        const long i = indexOf(key);
        if (i < 0)
            return;
        CFRelease(keys[size_t(i)]);
        CFRelease(values[size_t(i)]);
        keys.erase(keys.begin() + i);
        values.erase(values.begin() + i);
    }
    void clear()
    {
        for (size_t i = 0; i < keys.size(); ++i) {
            CFRelease(keys[i]);
            CFRelease(values[i]);
        }
        keys.clear();
        values.clear();
    }

    std::vector<CFTypeRef> keys;
    std::vector<CFTypeRef> values;
};

struct __CFData final : p3dcf::Object
{
    __CFData() : Object(p3dcf::kDataTypeID, false) {}
    bool equals(const Object& other) const override
    {
        return bytes == static_cast<const __CFData&>(other).bytes;
    }
    CFHashCode hash() const override { return bytes.size(); }
    std::u16string describeContents() const override
    {
        return p3dcf::WidenASCII("length = " + std::to_string(bytes.size()));
    }

    std::vector<UInt8> bytes;
};

namespace {

__CFArray* AsArray(CFArrayRef array)
{
    return const_cast<__CFArray*>(p3dcf::Cast<__CFArray>(array, p3dcf::kArrayTypeID));
}

__CFDictionary* AsDictionary(CFDictionaryRef dictionary)
{
    return const_cast<__CFDictionary*>(
        p3dcf::Cast<__CFDictionary>(dictionary, p3dcf::kDictionaryTypeID));
}

__CFData* AsData(CFDataRef data)
{
    return const_cast<__CFData*>(p3dcf::Cast<__CFData>(data, p3dcf::kDataTypeID));
}

} // namespace

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex numValues,
                         const CFArrayCallBacks*)
{
    if (numValues < 0 || numValues > kMaxCount || (numValues > 0 && !values))
        return nullptr;
    for (CFIndex i = 0; i < numValues; ++i)
        if (!values[i])
            return nullptr;
    auto* array = new __CFArray;
    for (CFIndex i = 0; i < numValues; ++i)
        array->append(values[i]);
    return array;
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex capacity, const CFArrayCallBacks*)
{
    if (capacity < 0 || capacity > kMaxCount)
        return nullptr;
    auto* array = new __CFArray;
    array->values.reserve(size_t(capacity));
    return array;
}

CFArrayRef CFArrayCreateCopy(CFAllocatorRef, CFArrayRef source)
{
    const __CFArray* from = AsArray(source);
    if (!from)
        return nullptr;
    auto* array = new __CFArray;
    for (CFTypeRef value : from->values)
        array->append(value);
    return array;
}

CFIndex CFArrayGetCount(CFArrayRef array)
{
    const __CFArray* a = AsArray(array);
    return a ? CFIndex(a->values.size()) : 0;
}

const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index)
{
    const __CFArray* a = AsArray(array);
    if (!a || index < 0 || size_t(index) >= a->values.size())
        return nullptr;
    return a->values[size_t(index)];
}

Boolean CFArrayContainsValue(CFArrayRef array, CFRange range, const void* value)
{
    const __CFArray* a = AsArray(array);
    if (!a || range.location < 0 || range.length < 0 ||
        size_t(range.location) + size_t(range.length) > a->values.size())
        return false;
    for (CFIndex i = range.location; i < range.location + range.length; ++i)
        if (CFEqual(a->values[size_t(i)], value))
            return true;
    return false;
}

void CFArrayAppendValue(CFMutableArrayRef array, const void* value)
{
    __CFArray* a = AsArray(array);
    if (a && value && a->values.size() < size_t(kMaxCount))
        a->append(value);
}

void CFArrayRemoveValueAtIndex(CFMutableArrayRef array, CFIndex index)
{
    __CFArray* a = AsArray(array);
    if (!a || index < 0 || size_t(index) >= a->values.size())
        return;
    CFRelease(a->values[size_t(index)]);
    a->values.erase(a->values.begin() + index);
}

void CFArrayRemoveAllValues(CFMutableArrayRef array)
{
    if (__CFArray* a = AsArray(array)) {
        for (CFTypeRef value : a->values)
            CFRelease(value);
        a->values.clear();
    }
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values,
                                   CFIndex numValues, const CFDictionaryKeyCallBacks*,
                                   const CFDictionaryValueCallBacks*)
{
    if (numValues < 0 || numValues > kMaxCount || (numValues > 0 && (!keys || !values)))
        return nullptr;
    for (CFIndex i = 0; i < numValues; ++i)
        if (!keys[i] || !values[i])
            return nullptr;
    auto* dictionary = new __CFDictionary;
    for (CFIndex i = 0; i < numValues; ++i)
        dictionary->set(keys[i], values[i], true);
    return dictionary;
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex capacity,
                                                 const CFDictionaryKeyCallBacks*,
                                                 const CFDictionaryValueCallBacks*)
{
    if (capacity < 0 || capacity > kMaxCount)
        return nullptr;
    return new __CFDictionary;
}

CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef, CFIndex capacity,
                                                     CFDictionaryRef source)
{
    const __CFDictionary* from = AsDictionary(source);
    if (!from || capacity < 0)
        return nullptr;
    auto* dictionary = new __CFDictionary;
    for (size_t i = 0; i < from->keys.size(); ++i)
        dictionary->set(from->keys[i], from->values[i], true);
    return dictionary;
}

CFIndex CFDictionaryGetCount(CFDictionaryRef dictionary)
{
    const __CFDictionary* d = AsDictionary(dictionary);
    return d ? CFIndex(d->keys.size()) : 0;
}

const void* CFDictionaryGetValue(CFDictionaryRef dictionary, const void* key)
{
    const __CFDictionary* d = AsDictionary(dictionary);
    return d && key ? d->find(key) : nullptr;
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef dictionary, const void* key,
                                      const void** value)
{
    const void* found = CFDictionaryGetValue(dictionary, key);
    if (found && value)
        *value = found;
    return found != nullptr;
}

Boolean CFDictionaryContainsKey(CFDictionaryRef dictionary, const void* key)
{
    return CFDictionaryGetValue(dictionary, key) != nullptr;
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef dictionary, const void** keys,
                                  const void** values)
{
    const __CFDictionary* d = AsDictionary(dictionary);
    if (!d)
        return;
    for (size_t i = 0; i < d->keys.size(); ++i) {
        if (keys)
            keys[i] = d->keys[i];
        if (values)
            values[i] = d->values[i];
    }
}

void CFDictionarySetValue(CFMutableDictionaryRef dictionary, const void* key, const void* value)
{
    __CFDictionary* d = AsDictionary(dictionary);
    if (d && key && value)
        d->set(key, value, true);
}

void CFDictionaryAddValue(CFMutableDictionaryRef dictionary, const void* key, const void* value)
{
    __CFDictionary* d = AsDictionary(dictionary);
    if (d && key && value)
        d->set(key, value, false);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef dictionary, const void* key)
{
    if (__CFDictionary* d = AsDictionary(dictionary); d && key)
        d->remove(key);
}

void CFDictionaryRemoveAllValues(CFMutableDictionaryRef dictionary)
{
    if (__CFDictionary* d = AsDictionary(dictionary))
        d->clear();
}

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length)
{
    if (length < 0 || length > kMaxCount || (length > 0 && !bytes))
        return nullptr;
    auto* data = new __CFData;
    data->bytes.assign(bytes, bytes + length);
    return data;
}

CFMutableDataRef CFDataCreateMutable(CFAllocatorRef, CFIndex capacity)
{
    if (capacity < 0 || capacity > kMaxCount)
        return nullptr;
    auto* data = new __CFData;
    data->bytes.reserve(size_t(capacity));
    return data;
}

CFMutableDataRef CFDataCreateMutableCopy(CFAllocatorRef, CFIndex capacity, CFDataRef source)
{
    const __CFData* from = AsData(source);
    if (!from || capacity < 0)
        return nullptr;
    auto* data = new __CFData;
    data->bytes = from->bytes;
    return data;
}

CFIndex CFDataGetLength(CFDataRef data)
{
    const __CFData* d = AsData(data);
    return d ? CFIndex(d->bytes.size()) : 0;
}

const UInt8* CFDataGetBytePtr(CFDataRef data)
{
    const __CFData* d = AsData(data);
    return d ? d->bytes.data() : nullptr;
}

UInt8* CFDataGetMutableBytePtr(CFMutableDataRef data)
{
    __CFData* d = AsData(data);
    return d ? d->bytes.data() : nullptr;
}

void CFDataAppendBytes(CFMutableDataRef data, const UInt8* bytes, CFIndex length)
{
    __CFData* d = AsData(data);
    if (!d || !bytes || length <= 0 || length > kMaxCount - CFIndex(d->bytes.size()))
        return;
    d->bytes.insert(d->bytes.end(), bytes, bytes + length);
}

void CFDataSetLength(CFMutableDataRef data, CFIndex length)
{
    __CFData* d = AsData(data);
    if (d && length >= 0 && length <= kMaxCount)
        d->bytes.resize(size_t(length), 0);
}
