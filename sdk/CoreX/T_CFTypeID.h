// Cached Core Foundation type identifiers, one per reference type, filled once at load.
#pragma once

#include "CFBase.h"
#include "CFCollections.h"
#include "CFNumber.h"
#include "CFString.h"
#include "CFURL.h"

// Opaque references of the types whose headers the platform layer does not carry yet;
// spelled exactly as Core Foundation spells them so a later header redeclares them harmlessly.
typedef const struct __CFSet* CFSetRef;
typedef struct __CFSet* CFMutableSetRef;
typedef const struct __CFBag* CFBagRef;
typedef struct __CFBag* CFMutableBagRef;
typedef struct __CFBundle* CFBundleRef;

template <class T> class T_CFTypeID
{
public:
    // Written by the static initialisers of T_CFTypeRef.cpp and only read afterwards.
    static const CFTypeID sTypeID;

    // The cached identifier; asks Core Foundation when called before the cache is filled
    // (another module's static initialiser running first), without writing to it.
    static CFTypeID Get() { return sTypeID != 0 ? sTypeID : Lookup(); }

private:
    static CFTypeID Lookup();
};

#define P3D_DECLARE_CF_TYPE_ID(REF)                                                                \
    template <> const CFTypeID T_CFTypeID<REF>::sTypeID;                                           \
    template <> CFTypeID T_CFTypeID<REF>::Lookup();

P3D_DECLARE_CF_TYPE_ID(CFStringRef)
P3D_DECLARE_CF_TYPE_ID(CFNumberRef)
P3D_DECLARE_CF_TYPE_ID(CFBooleanRef)
P3D_DECLARE_CF_TYPE_ID(CFArrayRef)
P3D_DECLARE_CF_TYPE_ID(CFMutableArrayRef)
P3D_DECLARE_CF_TYPE_ID(CFDictionaryRef)
P3D_DECLARE_CF_TYPE_ID(CFDataRef)
P3D_DECLARE_CF_TYPE_ID(CFSetRef)
P3D_DECLARE_CF_TYPE_ID(CFMutableSetRef)
P3D_DECLARE_CF_TYPE_ID(CFBagRef)
P3D_DECLARE_CF_TYPE_ID(CFMutableBagRef)
P3D_DECLARE_CF_TYPE_ID(CFBundleRef)
P3D_DECLARE_CF_TYPE_ID(CFURLRef)

#undef P3D_DECLARE_CF_TYPE_ID

bool import_T_CFTypeID();
