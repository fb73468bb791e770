// Fields that their owning worker writes while the run monitor reads them
// (history counts, bank size, current stream, a stream's next history).
// Both sides go through std::atomic_ref with relaxed order: the monitor needs
// no ordering, only a whole value, and on x86-64 a relaxed store or load is
// a plain move, so the owner's hot path stays as cheap as before. The owner
// may read its own field plainly; only its writes go through StoreRelaxed.
#pragma once

#include <atomic>
#include <type_traits>

template <typename T>
inline void StoreRelaxed(T& field, std::type_identity_t<T> value) {
  std::atomic_ref<T>(field).store(value, std::memory_order_relaxed);
}

// A reader on another thread; atomic_ref needs a non-const object in C++20.
template <typename T>
inline T LoadRelaxed(const T& field) {
  return std::atomic_ref<T>(const_cast<T&>(field)).load(std::memory_order_relaxed);
}

// The owner's increment and decrement: its own plain read, a relaxed store.
template <typename T>
inline void IncrementRelaxed(T& field) {
  StoreRelaxed(field, static_cast<T>(field + 1));
}
template <typename T>
inline void DecrementRelaxed(T& field) {
  StoreRelaxed(field, static_cast<T>(field - 1));
}
