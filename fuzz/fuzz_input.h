// The fuzzer's bytes, taken from the front as a fuzz target needs them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

class CFuzzInput {
public:
    CFuzzInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    // `count` bytes into `out`, or false (and nothing taken) when fewer are left.
    bool Take(void* out, size_t count) {
        if (m_size - m_used < count) return false;
        std::memcpy(out, m_data + m_used, count);
        m_used += count;
        return true;
    }
    // The next byte, or 0 once all are taken.
    uint8_t Byte() { return m_used < m_size ? m_data[m_used++] : 0; }
    // A value from the next bytes, zero-filled where they run out.
    template <class T>
    T Take() {
        T value{};
        for (size_t i = 0; i < sizeof value; ++i) reinterpret_cast<uint8_t*>(&value)[i] = Byte();
        return value;
    }
    bool Empty() const { return m_used >= m_size; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_used = 0;
};
