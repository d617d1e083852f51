// Process-wide objects: the first object of T constructed is the instance; the
// objects themselves are owned by whoever constructs them.
#pragma once

#include <atomic>

#include "TK/tk_except.hpp"

// The header's path as each program spells it in its internal-error codes; every
// program (and the test runner) defines it once.
extern const char* const tk_singl_path;

template <class T>
class tk_singleton {
  public:
    tk_singleton() {
        tk_singleton* expected = nullptr;
        slot().compare_exchange_strong(expected, this);
    }
    // Only the registered object unregisters: a second, short-lived object of T
    // must not take the live instance away.
    virtual ~tk_singleton() {
        tk_singleton* self = this;
        slot().compare_exchange_strong(self, nullptr);
    }
    tk_singleton(const tk_singleton&) = delete;
    tk_singleton& operator=(const tk_singleton&) = delete;

    static T& instance() {
        tk_singleton* p = slot().load(std::memory_order_acquire);
        if (!p) throw tk_mail_assertion(tk_singl_path, 71);
        return static_cast<T&>(*p);
    }
    static T& get_instance() {
        tk_singleton* p = slot().load(std::memory_order_acquire);
        if (!p) throw tk_mail_assertion(tk_singl_path, 64);
        return static_cast<T&>(*p);
    }
    // For code that may run without the object (trace printers, error list).
    static T* find() noexcept {
        tk_singleton* p = slot().load(std::memory_order_acquire);
        return p ? static_cast<T*>(p) : nullptr;
    }
    static bool exists() noexcept { return slot().load(std::memory_order_acquire) != nullptr; }

  private:
    static std::atomic<tk_singleton*>& slot() {
        static std::atomic<tk_singleton*> p{nullptr};
        return p;
    }
};
