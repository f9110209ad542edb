#include "CIValues.h"

#include <cstdio>
#include <string>

CIColor::CIColor() : Object(p3dcf::kCIColorTypeID, false) {}

CFPtr<CIColor> CIColor::colorWithRed(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha)
{
    auto color = CFPtr<CIColor>::Adopt(new CIColor);
    color->mComponents = {red, green, blue, alpha};
    return color;
}

CFTypeID CIColor::TypeID()
{
    return p3dcf::kCIColorTypeID;
}

bool CIColor::equals(const Object& other) const
{
    return mComponents == static_cast<const CIColor&>(other).mComponents;
}

std::u16string CIColor::describeContents() const
{
    char text[96];
    snprintf(text, sizeof(text), "%g %g %g %g", mComponents[0], mComponents[1], mComponents[2],
             mComponents[3]);
    return p3dcf::WidenASCII(text);
}

CIVector::CIVector() : Object(p3dcf::kCIVectorTypeID, false) {}

CFPtr<CIVector> CIVector::vectorWithValues(const CGFloat* values, size_t count)
{
    if (count > kMaxCount || (count > 0 && !values))
        return nullptr;
    auto vector = CFPtr<CIVector>::Adopt(new CIVector);
    for (size_t i = 0; i < count; ++i)
        vector->mValues[i] = values[i];
    vector->mCount = count;
    return vector;
}

CFPtr<CIVector> CIVector::vectorWithX(CGFloat x, CGFloat y, CGFloat z, CGFloat w)
{
    const CGFloat values[] = {x, y, z, w};
    return vectorWithValues(values, 4);
}

CFPtr<CIVector> CIVector::vectorWithCGRect(CGRect rect)
{
    return vectorWithX(rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
}

CGRect CIVector::CGRectValue() const
{
    return CGRectMake(valueAtIndex(0), valueAtIndex(1), valueAtIndex(2), valueAtIndex(3));
}

CFTypeID CIVector::TypeID()
{
    return p3dcf::kCIVectorTypeID;
}

bool CIVector::equals(const Object& other) const
{
    const auto& o = static_cast<const CIVector&>(other);
    return mCount == o.mCount && mValues == o.mValues;
}

std::u16string CIVector::describeContents() const
{
    std::string text = "[";
    for (size_t i = 0; i < mCount; ++i)
        text += (i ? " " : "") + std::to_string(mValues[i]);
    return p3dcf::WidenASCII(text + "]");
}
