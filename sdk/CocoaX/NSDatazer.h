// Mutable data copies, and the byte transform that keeps kernel texts scrambled in the program:
// each byte's two 4-bit halves swapped, its own inverse.
#pragma once

#include <cstddef>
#include <cstdint>

#include "CFCollections.h"

class NSDatazer
{
public:
    // New data holding a copy of the bytes; the caller releases it. Null, reported, without memory.
    static CFMutableDataRef dataWithNSDataBytes(const void* bytes, size_t length);
    static CFMutableDataRef dataWithNSData(CFDataRef data);
    // The copy, transformed.
    static CFMutableDataRef dataWithNSDatazerBytes(const void* bytes, size_t length);
    // Swaps the halves of every byte in place; always true.
    static bool transform(CFMutableDataRef data);
};

// Exchanges the high and low 4-bit halves of every byte in place; its own inverse.
void DatazerTransform(uint8_t* bytes, size_t length);

bool import_NSDatazer();
