// Private to the Core Foundation subset: the object base every CF object derives from, and the
// few helpers the CF modules share. Users include the public CF headers only.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "CFBase.h"

namespace p3dcf {

// Fixed type identifiers; 0 is what CFGetTypeID answers for null.
enum : CFTypeID {
    kStringTypeID = 1,
    kNumberTypeID = 2,
    kBooleanTypeID = 3,
    kArrayTypeID = 4,
    kDictionaryTypeID = 5,
    kDataTypeID = 6,
    kSetTypeID = 7,
    kBagTypeID = 8,
    kBundleTypeID = 9,
    kURLTypeID = 10,
    // Core Graphics, in a block of its own.
    kColorSpaceTypeID = 20,
    kDataProviderTypeID = 21,
    kImageTypeID = 22,
    kContextTypeID = 23,
    // Core Video.
    kPixelBufferTypeID = 24,
    // Core Graphics paths, added after the block was full.
    kPathTypeID = 25,
    // The image engine.
    kCIImageTypeID = 30,
    kCIFilterTypeID = 31,
    kCIContextTypeID = 32,
    kCIColorTypeID = 33,
    kCIVectorTypeID = 34,
    kCIKernelTypeID = 35,
    kCISamplerTypeID = 36,
};

class Object
{
public:
    // constexpr so that the boolean singletons are constant-initialised and usable from any
    // static initialiser.
    constexpr Object(CFTypeID typeID, bool immortal) : mTypeID(typeID), mImmortal(immortal) {}
    virtual ~Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    CFTypeID typeID() const { return mTypeID; }
    bool immortal() const { return mImmortal; }

    void retain() const;
    // True when that was the last reference and the caller must delete the object.
    bool release() const;
    CFIndex retainCount() const;

    // Only called with another object of the same type identifier.
    virtual bool equals(const Object& other) const { return this == &other; }
    virtual CFHashCode hash() const;

    // The text between the braces of the description.
    virtual std::u16string describeContents() const = 0;
    // What %@ inserts: the full description unless the type has a text of its own.
    virtual std::u16string formatDescription() const { return description(); }
    // "<CFNumber 0x...>{contents}"
    std::u16string description() const;

private:
    const CFTypeID mTypeID;
    const bool mImmortal;
    mutable std::atomic<CFIndex> mRetainCount{1};
};

// Every CF reference points at the Object at the start of its struct (single inheritance).
inline const Object* ObjectFromRef(CFTypeRef ref)
{
    return static_cast<const Object*>(ref);
}

// The object when ref is non-null and of the given type, else null.
template <typename T> const T* Cast(CFTypeRef ref, CFTypeID typeID)
{
    const Object* object = ObjectFromRef(ref);
    if (!object || object->typeID() != typeID)
        return nullptr;
    return static_cast<const T*>(object);
}

// Strings for the other modules (defined in CFString.cpp).
CFStringRef MakeString(std::u16string units, bool immortal = false);
// The units of a string reference; null for null or any other type.
const std::u16string* StringUnits(CFTypeRef ref);

std::u16string WidenASCII(std::string_view text);
CFHashCode HashUnits(const std::u16string& units);

} // namespace p3dcf
