#pragma once
// Values one thread writes and others read for texts, plots and the host's
// queries: single relaxed stores and loads, which compile to plain moves but
// never tear and are not data races.

#include <atomic>

namespace vh {

template <typename T>
inline void publish(T& field, T value) {
    std::atomic_ref<T>(field).store(value, std::memory_order_relaxed);
}

template <typename T>
inline T observe(const T& field) {
    return std::atomic_ref<T>(const_cast<T&>(field)).load(std::memory_order_relaxed);
}

}  // namespace vh
