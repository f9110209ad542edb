// Immutable UTF-16 strings and their conversions to and from 8-bit encodings.
#pragma once

#include <cstdarg>

#include "CFBase.h"

typedef UInt32 CFStringEncoding;

enum : CFStringEncoding {
    kCFStringEncodingMacRoman = 0,
    kCFStringEncodingWindowsLatin1 = 0x0500,
    kCFStringEncodingISOLatin1 = 0x0201,
    kCFStringEncodingNextStepLatin = 0x0B01,
    kCFStringEncodingASCII = 0x0600,
    kCFStringEncodingUnicode = 0x0100,
    kCFStringEncodingUTF8 = 0x08000100,
    kCFStringEncodingNonLossyASCII = 0x0BFF,
    kCFStringEncodingUTF16 = 0x0100,
    kCFStringEncodingInvalidId = 0xFFFFFFFFU,
};

typedef CFOptionFlags CFStringCompareFlags;
enum : CFStringCompareFlags {
    kCFCompareCaseInsensitive = 1,
};

// A constant string: made once per distinct text, never freed; retain and release ignore it.
#define CFSTR(text) __CFStringMakeConstantString("" text "")
CFStringRef __CFStringMakeConstantString(const char* utf8);

// Creation answers null when the input is null or not valid in the encoding.
CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr,
                                      CFStringEncoding encoding);
CFStringRef CFStringCreateWithPascalString(CFAllocatorRef alloc, ConstStr255Param pStr,
                                           CFStringEncoding encoding);
CFStringRef CFStringCreateWithCharacters(CFAllocatorRef alloc, const UniChar* chars,
                                         CFIndex numChars);
CFStringRef CFStringCreateWithBytes(CFAllocatorRef alloc, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation);
CFStringRef CFStringCreateCopy(CFAllocatorRef alloc, CFStringRef string);

// printf formats plus %@, which inserts a string's text or another object's description.
CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions,
                                     CFStringRef format, ...);
CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef alloc,
                                                 CFDictionaryRef formatOptions, CFStringRef format,
                                                 va_list arguments);

// Length and ranges count UTF-16 units.
CFIndex CFStringGetLength(CFStringRef string);
UniChar CFStringGetCharacterAtIndex(CFStringRef string, CFIndex index);
void CFStringGetCharacters(CFStringRef string, CFRange range, UniChar* buffer);

// The whole text with its terminator must fit, and every character must be representable.
Boolean CFStringGetCString(CFStringRef string, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding);
Boolean CFStringGetPascalString(CFStringRef string, StringPtr buffer, CFIndex bufferSize,
                                CFStringEncoding encoding);

// Converts as many units of the range as fit; a lossByte of 0 stops at the first character
// the encoding cannot hold, any other value stands in for it. Answers the units converted.
CFIndex CFStringGetBytes(CFStringRef string, CFRange range, CFStringEncoding encoding,
                         UInt8 lossByte, Boolean isExternalRepresentation, UInt8* buffer,
                         CFIndex maxBufLen, CFIndex* usedBufLen);

// kCFNotFound for an unknown encoding or a length whose size would overflow.
CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding);
Boolean CFStringIsEncodingAvailable(CFStringEncoding encoding);
CFStringEncoding CFStringGetSystemEncoding(void);

CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFStringCompareFlags options);

// File names are UTF-8 on Linux.
Boolean CFStringGetFileSystemRepresentation(CFStringRef string, char* buffer, CFIndex maxBufLen);
CFIndex CFStringGetMaximumSizeOfFileSystemRepresentation(CFStringRef string);
CFStringRef CFStringCreateWithFileSystemRepresentation(CFAllocatorRef alloc, const char* buffer);
