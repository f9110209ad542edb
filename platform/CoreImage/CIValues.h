// Colours and vectors: the parameter values of filters besides numbers and images.
#pragma once

#include <array>

#include "CFPtr.h"
#include "CFRuntime.h"
#include "CGGeometry.h"

class CIColor final : public p3dcf::Object
{
public:
    static CFPtr<CIColor> colorWithRed(CGFloat red, CGFloat green, CGFloat blue,
                                       CGFloat alpha = 1.0);
    CGFloat red() const { return mComponents[0]; }
    CGFloat green() const { return mComponents[1]; }
    CGFloat blue() const { return mComponents[2]; }
    CGFloat alpha() const { return mComponents[3]; }

    static CFTypeID TypeID();
    bool equals(const Object& other) const override;
    std::u16string describeContents() const override;

private:
    CIColor();
    std::array<CGFloat, 4> mComponents{};
};

class CIVector final : public p3dcf::Object
{
public:
    static constexpr size_t kMaxCount = 8;
    static CFPtr<CIVector> vectorWithValues(const CGFloat* values, size_t count);
    static CFPtr<CIVector> vectorWithX(CGFloat x, CGFloat y, CGFloat z, CGFloat w);
    static CFPtr<CIVector> vectorWithCGRect(CGRect rect);
    size_t count() const { return mCount; }
    // 0 past the end.
    CGFloat valueAtIndex(size_t index) const { return index < mCount ? mValues[index] : 0; }
    CGRect CGRectValue() const;

    static CFTypeID TypeID();
    bool equals(const Object& other) const override;
    std::u16string describeContents() const override;

private:
    CIVector();
    std::array<CGFloat, kMaxCount> mValues{};
    size_t mCount = 0;
};
