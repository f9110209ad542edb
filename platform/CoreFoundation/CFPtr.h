// An owning reference to a Core Foundation-style object: retains on copy, releases on
// destruction. Adopt() takes over a reference the caller already owns (a Create or Copy result).
#pragma once

#include <utility>

#include "CFBase.h"

template <typename T> class CFPtr
{
public:
    CFPtr() = default;
    CFPtr(std::nullptr_t) {}
    // Shares the object: one more reference.
    explicit CFPtr(T* object) : mObject(object)
    {
        if (mObject)
            CFRetain(mObject);
    }
    static CFPtr Adopt(T* object)
    {
        CFPtr pointer;
        pointer.mObject = object;
        return pointer;
    }
    CFPtr(const CFPtr& other) : CFPtr(other.mObject) {}
    CFPtr(CFPtr&& other) noexcept : mObject(std::exchange(other.mObject, nullptr)) {}
    template <typename U> CFPtr(const CFPtr<U>& other) : CFPtr(static_cast<T*>(other.get())) {}
    ~CFPtr()
    {
        if (mObject)
            CFRelease(mObject);
    }
    CFPtr& operator=(CFPtr other) noexcept
    {
        std::swap(mObject, other.mObject);
        return *this;
    }

    T* get() const { return mObject; }
    T* operator->() const { return mObject; }
    T& operator*() const { return *mObject; }
    explicit operator bool() const { return mObject != nullptr; }
    bool operator==(const CFPtr& other) const = default;

private:
    T* mObject = nullptr;
};
