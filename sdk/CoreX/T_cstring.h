// A heap text of code units (UTF-16 for T_cstring<unsigned short>), released with free().
#pragma once

#include <cstddef>
#include <cstdlib>
#include <utility>

#include "CoreMachDebugLog.h"

template <class T> class T_cstring
{
public:
    T_cstring() : m_cstring(nullptr) {}
    ~T_cstring() { std::free(m_cstring); }

    T_cstring(const T_cstring&) = delete;
    T_cstring& operator=(const T_cstring&) = delete;
    T_cstring(T_cstring&& other) noexcept : m_cstring(std::exchange(other.m_cstring, nullptr)) {}
    T_cstring& operator=(T_cstring&& other) noexcept
    {
        if (this != &other) {
            std::free(m_cstring);
            m_cstring = std::exchange(other.m_cstring, nullptr);
        }
        return *this;
    }

    // 0 keeps the buffer and answers whether there is one; otherwise a new buffer of
    // in_units + 1 units that starts with a terminator.
    bool set_length(size_t in_units)
    {
        if (in_units == 0)
            return m_cstring != nullptr;
        std::free(m_cstring);
        m_cstring = nullptr;
        if (in_units < static_cast<size_t>(-1) / sizeof(T) - 1)
            m_cstring = static_cast<T*>(std::malloc((in_units + 1) * sizeof(T)));
        // clang-format off
        VERIFY(m_cstring!=__null);
        // clang-format on
        if (m_cstring == nullptr)
            return false;
        m_cstring[0] = 0;
        return true;
    }

    T* get() const { return m_cstring; }
    operator T*() const { return m_cstring; }

    // Hands the buffer over; the caller frees it.
    T* release() { return std::exchange(m_cstring, nullptr); }

private:
    T* m_cstring;
};

bool import_T_cstring();
