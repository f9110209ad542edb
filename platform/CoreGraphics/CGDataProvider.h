// A data provider lends a block of bytes to images; the bytes stay the caller's.
#pragma once

#include <cstddef>

#include "CFBase.h"
#include "CFCollections.h"

typedef struct CGDataProvider* CGDataProviderRef;

// Called once when the provider goes away, so the owner can give the bytes back.
typedef void (*CGDataProviderReleaseDataCallback)(void* info, const void* data, size_t size);

// Borrows data; null data or a zero size gives null (and the callback is not called).
CGDataProviderRef CGDataProviderCreateWithData(void* info, const void* data, size_t size,
                                               CGDataProviderReleaseDataCallback releaseData);
CGDataProviderRef CGDataProviderRetain(CGDataProviderRef provider);
void CGDataProviderRelease(CGDataProviderRef provider);
// The lent bytes and their size (null and 0 for null).
const void* CGDataProviderGetBytePtr(CGDataProviderRef provider);
size_t CGDataProviderGetSize(CGDataProviderRef provider);
// A new data object holding a copy of the lent bytes; null for null.
CFDataRef CGDataProviderCopyData(CGDataProviderRef provider);
CFTypeID CGDataProviderGetTypeID(void);
