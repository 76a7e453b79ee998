// Two C++20 library pieces that some standard libraries we build with lack
// (the web build's libc++ has neither): a reference that loads and stores a
// plain variable as a whole, and a reinterpretation of an object's bits.
// Where the library has them, these are the library's own, so a native build
// is exactly what it was.
//
// Owns nothing; usable from any thread, with the guarantees of the standard
// pieces. Not for new kinds of shared state: values shared between threads
// are std::atomic; AtomicRef is only for the plain variables that animators
// and their readers already share one value at a time.
#pragma once

#include <atomic>
#include <cstring>
#include <type_traits>
#if __has_include(<bit>)
#include <bit>
#endif

#if defined(__cpp_lib_atomic_ref)
template <typename T>
using AtomicRef = std::atomic_ref<T>;
#else
// The subset the program uses, on the compiler's atomic built-ins, which take
// any trivially copyable type of a lock-free size.
template <typename T>
class AtomicRef {
    static_assert(std::is_trivially_copyable_v<T> && (sizeof(T) == 4 || sizeof(T) == 8));
    T* object;

public:
    explicit AtomicRef(T& value) : object(&value) {}
    T load(std::memory_order order = std::memory_order_seq_cst) const {
        T result;
        __atomic_load(object, &result, int(order));
        return result;
    }
    void store(T value, std::memory_order order = std::memory_order_seq_cst) const {
        __atomic_store(object, &value, int(order));
    }
    bool compare_exchange_weak(T& expected, T desired, std::memory_order order) const {
        return __atomic_compare_exchange(object, &expected, &desired, true, int(order), int(order));
    }
    T fetch_add(T operand, std::memory_order order) const {
        T old = load(std::memory_order_relaxed);
        while (!compare_exchange_weak(old, T(old + operand), order)) {
        }
        return old;
    }
};
#endif

// fetch_add on a std::atomic<float>, which older libraries leave out.
template <typename T>
T atomicFetchAdd(std::atomic<T>& value, T operand, std::memory_order order) {
#if defined(__cpp_lib_atomic_float)
    return value.fetch_add(operand, order);
#else
    T old = value.load(std::memory_order_relaxed);
    while (!value.compare_exchange_weak(old, T(old + operand), order, std::memory_order_relaxed)) {
    }
    return old;
#endif
}

#if defined(__cpp_lib_bit_cast)
template <typename To, typename From>
constexpr To bitCast(const From& from) {
    return std::bit_cast<To>(from);
}
#else
template <typename To, typename From>
constexpr To bitCast(const From& from) {
    static_assert(sizeof(To) == sizeof(From));
    return __builtin_bit_cast(To, from);
}
#endif
