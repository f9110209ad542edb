// Basic types the system's classes are written against, with the sizes they had there.
#pragma once

#include <cstdint>

typedef uint8_t UInt8;
typedef int8_t SInt8;
typedef uint16_t UInt16;
typedef int16_t SInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef uint64_t UInt64;
typedef int64_t SInt64;
typedef float Float32;
typedef double Float64;

typedef unsigned char Boolean;
typedef UInt16 UniChar;
typedef SInt16 OSErr;
typedef SInt32 OSStatus;
typedef UInt32 FourCharCode;
typedef FourCharCode OSType;

typedef unsigned char Str255[256];
typedef unsigned char Str63[64];
typedef unsigned char* StringPtr;
typedef const unsigned char* ConstStringPtr;
typedef const unsigned char* ConstStr255Param;

// A four-character code from its text, most significant byte first: FourCC("logs").
constexpr FourCharCode FourCC(const char (&text)[5])
{
    return (FourCharCode(UInt8(text[0])) << 24) | (FourCharCode(UInt8(text[1])) << 16) |
           (FourCharCode(UInt8(text[2])) << 8) | FourCharCode(UInt8(text[3]));
}

enum : OSErr {
    noErr = 0,
    ioErr = -36,
    bdNamErr = -37,
    fnfErr = -43,
    paramErr = -50,
    permErr = -54,
    dirNFErr = -120,
};

struct Rect
{
    SInt16 top;
    SInt16 left;
    SInt16 bottom;
    SInt16 right;
};

struct Point
{
    SInt16 v;
    SInt16 h;
};

// The name record of the classic file system; only its name travels on Linux.
struct FSSpec
{
    SInt16 vRefNum;
    SInt32 parID;
    Str63 name;
};

struct HFSUniStr255
{
    UInt16 length;
    UniChar unicode[255];
};
