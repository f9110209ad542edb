// Reference-counted objects with type identifiers, the base of the Core Foundation subset.
#pragma once

#include "MacTypes.h"

typedef const void* CFTypeRef;
typedef unsigned long CFTypeID;
typedef unsigned long CFOptionFlags;
typedef unsigned long CFHashCode;
typedef long CFIndex;

typedef const struct __CFAllocator* CFAllocatorRef;
typedef const struct __CFString* CFStringRef;
typedef const struct __CFDictionary* CFDictionaryRef;

struct CFRange
{
    CFIndex location;
    CFIndex length;
};

inline CFRange CFRangeMake(CFIndex location, CFIndex length)
{
    return CFRange{location, length};
}

enum : CFIndex { kCFNotFound = -1 };

typedef CFIndex CFComparisonResult;
enum : CFIndex {
    kCFCompareLessThan = -1,
    kCFCompareEqualTo = 0,
    kCFCompareGreaterThan = 1,
};

// Every allocator is the system one; the argument is kept for the call shapes.
inline constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;

// Null arguments are tolerated everywhere: retain/release do nothing, queries answer 0 or null.
CFTypeRef CFRetain(CFTypeRef object);
void CFRelease(CFTypeRef object);
CFIndex CFGetRetainCount(CFTypeRef object);
CFTypeID CFGetTypeID(CFTypeRef object);
Boolean CFEqual(CFTypeRef a, CFTypeRef b);
CFHashCode CFHash(CFTypeRef object);
CFStringRef CFCopyDescription(CFTypeRef object);
CFStringRef CFCopyTypeIDDescription(CFTypeID typeID);

// Type identifiers. The mutable variants share the identifier of their immutable type.
CFTypeID CFStringGetTypeID(void);
CFTypeID CFNumberGetTypeID(void);
CFTypeID CFBooleanGetTypeID(void);
CFTypeID CFArrayGetTypeID(void);
CFTypeID CFDictionaryGetTypeID(void);
CFTypeID CFDataGetTypeID(void);
CFTypeID CFSetGetTypeID(void);
CFTypeID CFBagGetTypeID(void);
CFTypeID CFBundleGetTypeID(void);
CFTypeID CFURLGetTypeID(void);
