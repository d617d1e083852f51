// A byte buffer that grows without zeroing what it grows by, for buffers whose new bytes
// are written right after they are added (records, memos): zeroing them first would
// write every byte twice.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

// Value-initialises elements by default-initialising them: bytes are left as they are.
template <class T>
struct tk_uninit_allocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = tk_uninit_allocator<U>;
    };
    tk_uninit_allocator() = default;
    template <class U>
    tk_uninit_allocator(const tk_uninit_allocator<U>&) noexcept {}
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... A>
    void construct(U* p, A&&... a) {
        ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
    }
};

// resize(n) leaves the new bytes unset; resize(n, b) and insert set them as usual.
using tk_byte_buffer = std::vector<uint8_t, tk_uninit_allocator<uint8_t>>;
