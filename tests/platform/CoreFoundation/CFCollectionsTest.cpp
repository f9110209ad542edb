#include <gtest/gtest.h>
#include <string>

#include "CFCollections.h"
#include "CFNumber.h"
#include "CFString.h"

namespace {

CFNumberRef Number(int value)
{
    return CFNumberCreate(nullptr, kCFNumberIntType, &value);
}

TEST(CFArray, HoldsRetainedValuesInOrder)
{
    CFNumberRef one = Number(1);
    CFStringRef two = CFStringCreateWithCString(nullptr, "two", kCFStringEncodingUTF8);
    const void* values[] = {one, two};
    CFArrayRef array = CFArrayCreate(nullptr, values, 2, &kCFTypeArrayCallBacks);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(CFGetTypeID(array), CFArrayGetTypeID());
    EXPECT_EQ(CFArrayGetCount(array), 2);
    EXPECT_EQ(CFGetRetainCount(one), 2);
    EXPECT_EQ(CFArrayGetValueAtIndex(array, 1), two);
    EXPECT_EQ(CFArrayGetValueAtIndex(array, 2), nullptr);
    EXPECT_EQ(CFArrayGetValueAtIndex(array, -1), nullptr);
    EXPECT_TRUE(CFArrayContainsValue(array, CFRangeMake(0, 2), CFSTR("two")));
    EXPECT_FALSE(CFArrayContainsValue(array, CFRangeMake(0, 1), CFSTR("two")));
    EXPECT_FALSE(CFArrayContainsValue(array, CFRangeMake(1, 5), CFSTR("two")));

    CFArrayRef copy = CFArrayCreateCopy(nullptr, array);
    EXPECT_TRUE(CFEqual(copy, array));
    CFRelease(array);
    CFRelease(copy);
    EXPECT_EQ(CFGetRetainCount(one), 1);
    CFRelease(one);
    CFRelease(two);

    const void* withNull[] = {CFSTR("a"), nullptr};
    EXPECT_EQ(CFArrayCreate(nullptr, withNull, 2, nullptr), nullptr);
    EXPECT_EQ(CFArrayCreate(nullptr, nullptr, 3, nullptr), nullptr);
    EXPECT_EQ(CFArrayCreate(nullptr, values, -1, nullptr), nullptr);
}

TEST(CFArray, MutableAppendsAndRemoves)
{
    CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    CFArrayAppendValue(array, CFSTR("a"));
    CFArrayAppendValue(array, nullptr); // refused
    CFArrayAppendValue(array, CFSTR("b"));
    CFArrayAppendValue(reinterpret_cast<CFMutableArrayRef>(const_cast<__CFString*>(CFSTR("x"))),
                       CFSTR("c")); // not an array: nothing happens
    EXPECT_EQ(CFArrayGetCount(array), 2);
    CFArrayRemoveValueAtIndex(array, 0);
    CFArrayRemoveValueAtIndex(array, 7);
    EXPECT_EQ(CFArrayGetValueAtIndex(array, 0), CFSTR("b"));
    CFArrayRemoveAllValues(array);
    EXPECT_EQ(CFArrayGetCount(array), 0);
    CFRelease(array);
}

TEST(CFDictionary, KeysAreComparedByValue)
{
    CFMutableDictionaryRef dictionary = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFNumberRef one = Number(1);
    CFDictionarySetValue(dictionary, CFSTR("inputSwapEyes"), one);
    // The same text in another string object is the same key.
    CFStringRef key = CFStringCreateWithCString(nullptr, "inputSwapEyes", kCFStringEncodingUTF8);
    EXPECT_EQ(CFDictionaryGetValue(dictionary, key), one);
    EXPECT_EQ(CFGetRetainCount(one), 2);

    CFNumberRef two = Number(2);
    CFDictionaryAddValue(dictionary, key, two); // there already: kept
    EXPECT_EQ(CFDictionaryGetValue(dictionary, key), one);
    CFDictionarySetValue(dictionary, key, two); // replaced
    EXPECT_EQ(CFDictionaryGetValue(dictionary, CFSTR("inputSwapEyes")), two);
    EXPECT_EQ(CFGetRetainCount(one), 1);
    CFDictionarySetValue(dictionary, CFSTR("inputImage"), CFSTR("CIImage"));
    EXPECT_EQ(CFDictionaryGetCount(dictionary), 2);

    const void* keys[2];
    const void* values[2];
    CFDictionaryGetKeysAndValues(dictionary, keys, values);
    EXPECT_TRUE(CFEqual(keys[0], CFSTR("inputSwapEyes")));
    EXPECT_EQ(values[1], CFSTR("CIImage"));

    CFMutableDictionaryRef copy = CFDictionaryCreateMutableCopy(nullptr, 0, dictionary);
    EXPECT_TRUE(CFEqual(copy, dictionary));
    CFDictionaryRemoveValue(copy, CFSTR("inputImage"));
    EXPECT_FALSE(CFEqual(copy, dictionary));
    EXPECT_FALSE(CFDictionaryContainsKey(copy, CFSTR("inputImage")));
    const void* found = nullptr;
    EXPECT_TRUE(CFDictionaryGetValueIfPresent(copy, CFSTR("inputSwapEyes"), &found));
    EXPECT_EQ(found, two);
    EXPECT_FALSE(CFDictionaryGetValueIfPresent(copy, CFSTR("missing"), &found));

    CFDictionarySetValue(dictionary, nullptr, one);
    CFDictionarySetValue(dictionary, CFSTR("k"), nullptr);
    EXPECT_EQ(CFDictionaryGetCount(dictionary), 2);
    EXPECT_EQ(CFDictionaryGetValue(dictionary, nullptr), nullptr);

    CFRelease(copy);
    CFRelease(dictionary);
    EXPECT_EQ(CFGetRetainCount(two), 1);
    CFRelease(key);
    CFRelease(one);
    CFRelease(two);
}

TEST(CFDictionary, CreatedWhole)
{
    const void* keys[] = {CFSTR("a"), CFSTR("b")};
    const void* values[] = {CFSTR("1"), CFSTR("2")};
    CFDictionaryRef dictionary = CFDictionaryCreate(nullptr, keys, values, 2, nullptr, nullptr);
    ASSERT_NE(dictionary, nullptr);
    EXPECT_EQ(CFGetTypeID(dictionary), CFDictionaryGetTypeID());
    EXPECT_EQ(CFDictionaryGetValue(dictionary, CFSTR("b")), CFSTR("2"));
    CFStringRef description = CFCopyDescription(dictionary);
    char text[256];
    ASSERT_TRUE(CFStringGetCString(description, text, sizeof(text), kCFStringEncodingUTF8));
    EXPECT_NE(std::string(text).find("{a = 1; b = 2}"), std::string::npos) << text;
    CFRelease(description);
    CFRelease(dictionary);
    const void* badValues[] = {CFSTR("1"), nullptr};
    EXPECT_EQ(CFDictionaryCreate(nullptr, keys, badValues, 2, nullptr, nullptr), nullptr);
}

TEST(CFData, CopiesGrowsAndZeroFills)
{
    const UInt8 bytes[] = {1, 2, 3};
    CFDataRef data = CFDataCreate(nullptr, bytes, 3);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(CFDataGetLength(data), 3);
    EXPECT_NE(CFDataGetBytePtr(data), bytes);
    EXPECT_EQ(CFDataGetBytePtr(data)[2], 3);

    CFMutableDataRef mutableData = CFDataCreateMutableCopy(nullptr, 0, data);
    CFDataAppendBytes(mutableData, bytes, 2);
    CFDataSetLength(mutableData, 7);
    EXPECT_EQ(CFDataGetLength(mutableData), 7);
    const UInt8 expected[] = {1, 2, 3, 1, 2, 0, 0};
    EXPECT_EQ(memcmp(CFDataGetBytePtr(mutableData), expected, 7), 0);
    CFDataGetMutableBytePtr(mutableData)[6] = 9;
    EXPECT_FALSE(CFEqual(mutableData, data));
    CFDataSetLength(mutableData, 3);
    EXPECT_TRUE(CFEqual(mutableData, data));

    CFDataSetLength(mutableData, -1);
    CFDataAppendBytes(mutableData, nullptr, 4);
    EXPECT_EQ(CFDataGetLength(mutableData), 3);
    EXPECT_EQ(CFDataCreate(nullptr, nullptr, 4), nullptr);
    EXPECT_EQ(CFDataCreate(nullptr, bytes, CFIndex(1) << 40), nullptr);
    CFDataRef empty = CFDataCreate(nullptr, nullptr, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(CFDataGetLength(empty), 0);
    CFRelease(empty);
    CFRelease(mutableData);
    CFRelease(data);
}

} // namespace
