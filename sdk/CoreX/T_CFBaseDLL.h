// The holder of a bundle or framework loaded at run time: found by name in a fixed set of
// places, its functions resolved by name at every call.
#pragma once

#include <initializer_list>
#include <type_traits>

#include "CFBaseDLL.h"

template <class Implementation> class T_CFBaseDLL : public Implementation
{
public:
    explicit T_CFBaseDLL(CFStringRef in_name = nullptr) : Implementation(in_name) {}
    ~T_CFBaseDLL()
    {
        this->Unload();
        this->mName = nullptr;
    }

    bool IsLoaded() const { return this->IsExecutableLoaded(); }

    bool LoadSystemFramework(CFStringRef in_name = nullptr)
    {
        return LoadFromLocations(in_name, {CFBaseDLL::kLocationSystemFrameworks});
    }

    // The components folders of the user, then the system, then the local domain: the first
    // copy that loads is kept.
    bool LoadQuickTimeComponentBundle(CFStringRef in_name = nullptr)
    {
        return LoadFromLocations(in_name, {CFBaseDLL::kLocationUserQuickTime,
                                           CFBaseDLL::kLocationSystemQuickTime,
                                           CFBaseDLL::kLocationLocalQuickTime});
    }

    // Calls the function of that name with the arguments, which must be of exactly the types
    // it takes; false when nothing is loaded or the name does not resolve. Never cached: a
    // reloaded bundle is always called at its new address.
    template <typename Result, typename... Arguments>
    bool Call(CFStringRef in_function_name, Result* out_result, Arguments... in_arguments) const
    {
        using Function = Result (*)(Arguments...);
        Function function =
            reinterpret_cast<Function>(this->FunctionPointerForName(in_function_name));
        if (!function)
            return false;
        if constexpr (std::is_void_v<Result>) {
            function(in_arguments...);
        } else {
            const Result result = function(in_arguments...);
            if (out_result)
                *out_result = result;
        }
        return true;
    }

private:
    bool LoadFromLocations(CFStringRef in_name, std::initializer_list<int> in_locations)
    {
        if (in_name)
            this->mName = in_name;
        if (IsLoaded())
            return true;
        if (!this->mName)
            return false;
        for (int location : in_locations) {
            CFURLRef url = CFBaseDLL::URLOfNameInLocation(this->mName, location);
            const bool fOk = url && this->LoadFromURL(url);
            if (url)
                CFRelease(url);
            if (fOk)
                return true;
        }
        return false;
    }
};
