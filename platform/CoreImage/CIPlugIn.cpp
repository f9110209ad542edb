#include "CIPlugIn.h"

#include <cctype>
#include <map>
#include <mutex>

#include "CFNumber.h"
#include "Diagnostics.h"
#include "Frei0rPlugIn.h"

namespace {

CFStringRef MakeString(const std::string& text)
{
    CFStringRef string = CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8);
    return string ? string : CFStringCreateWithCString(nullptr, "", kCFStringEncodingUTF8);
}

// The loaded plug-ins by filter name; they stay for the life of the program.
std::map<std::string, std::shared_ptr<CoreImage::Frei0rPlugIn>>& PlugIns()
{
    static std::map<std::string, std::shared_ptr<CoreImage::Frei0rPlugIn>> sPlugIns;
    return sPlugIns;
}
std::mutex sPlugInsLock;

std::shared_ptr<CoreImage::Frei0rPlugIn> PlugInNamed(const std::string& name)
{
    std::lock_guard<std::mutex> lock(sPlugInsLock);
    const auto it = PlugIns().find(name);
    return it == PlugIns().end() ? nullptr : it->second;
}

class PlugInFilter final : public CIFilter
{
public:
    explicit PlugInFilter(CFStringRef name)
        : CIFilter(name), mPlugIn(PlugInNamed(CIStringUTF8(name)))
    {
    }

    CFPtr<CIImage> outputImage() const override
    {
        const CIImage* input = imageForKey(kCIInputImageKey);
        if (!input || !mPlugIn)
            return CFPtr<CIImage>(const_cast<CIImage*>(input));
        std::vector<CIPlugInValue> values;
        const auto& parameters = mPlugIn->parameters();
        for (size_t i = 0; i < parameters.size(); ++i) {
            const std::string key = CIPlugIn::inputKeyForParameter(parameters[i].name);
            CFStringRef keyString = MakeString(key);
            CIPlugInValue value{int(i), int(parameters[i].type), {0, 0, 0}};
            bool fSet = false;
            switch (parameters[i].type) {
            case CoreImage::Frei0rParameter::kBool:
            case CoreImage::Frei0rParameter::kDouble:
                if (valueForKey(keyString)) {
                    value.values[0] = numberForKey(keyString, 0);
                    fSet = true;
                }
                break;
            case CoreImage::Frei0rParameter::kColor:
                if (const CIColor* color = colorForKey(keyString)) {
                    value.values[0] = color->red();
                    value.values[1] = color->green();
                    value.values[2] = color->blue();
                    fSet = true;
                }
                break;
            case CoreImage::Frei0rParameter::kPosition:
                if (const CIVector* vector = vectorForKey(keyString)) {
                    value.values[0] = vector->valueAtIndex(0);
                    value.values[1] = vector->valueAtIndex(1);
                    fSet = true;
                }
                break;
            default:
                break;
            }
            CFRelease(keyString);
            if (fSet)
                values.push_back(value);
        }
        return CIImage::imageWithPlugIn(mPlugIn, std::move(values), input);
    }

private:
    std::shared_ptr<CoreImage::Frei0rPlugIn> mPlugIn;
};

CFPtr<CIFilter> MakePlugInFilter(CFStringRef name)
{
    return CFPtr<CIFilter>::Adopt(new PlugInFilter(name));
}

CFDictionaryRef AttributesOf(const CoreImage::Frei0rPlugIn& plugIn, CFStringRef name)
{
    CFMutableDictionaryRef attributes = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(attributes, kCIAttributeFilterName, name);
    CFDictionarySetValue(attributes, kCIAttributeFilterDisplayName, name);
    auto addInput = [&](CFStringRef key, CFStringRef className) {
        CFMutableDictionaryRef entry = CFDictionaryCreateMutable(
            nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
        CFDictionarySetValue(entry, kCIAttributeClass, className);
        CFDictionarySetValue(attributes, key, entry);
        CFRelease(entry);
    };
    addInput(kCIInputImageKey, CFSTR("CIImage"));
    for (const CoreImage::Frei0rParameter& parameter : plugIn.parameters()) {
        CFStringRef className = nullptr;
        switch (parameter.type) {
        case CoreImage::Frei0rParameter::kBool:
        case CoreImage::Frei0rParameter::kDouble:
            className = CFSTR("NSNumber");
            break;
        case CoreImage::Frei0rParameter::kColor:
            className = CFSTR("CIColor");
            break;
        case CoreImage::Frei0rParameter::kPosition:
            className = CFSTR("CIVector");
            break;
        default:
            break; // text parameters have no image-filter counterpart
        }
        if (!className)
            continue;
        CFStringRef key = MakeString(CIPlugIn::inputKeyForParameter(parameter.name));
        addInput(key, className);
        CFRelease(key);
    }
    return attributes;
}

} // namespace

std::string CIPlugIn::inputKeyForParameter(const std::string& name)
{
    std::string key = "input";
    bool upper = true;
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            upper = true;
            continue;
        }
        key += upper ? char(std::toupper(static_cast<unsigned char>(c))) : c;
        upper = false;
    }
    return key;
}

void CIPlugIn::loadAllPlugIns()
{
    static std::once_flag sLoaded;
    std::call_once(sLoaded, [] {
        for (const auto& plugIn : CoreImage::Frei0rPlugIn::LoadAllPlugIns()) {
            if (plugIn->name().empty())
                continue;
            CFStringRef name = MakeString(plugIn->name());
            // A built-in of the same name keeps its place.
            if (!CIFilter::isRegistered(name)) {
                {
                    std::lock_guard<std::mutex> lock(sPlugInsLock);
                    PlugIns()[plugIn->name()] = plugIn;
                }
                CFDictionaryRef attributes = AttributesOf(*plugIn, name);
                CIFilter::registerFilterName(name, MakePlugInFilter, attributes);
                CFRelease(attributes);
            }
            CFRelease(name);
        }
    });
}

bool import_CIPlugIn()
{
    return import_CIFilter();
}
