// REL<T>: a reference to an array of T that lies in the same memory block as
// the reference itself, stored as the byte distance from the reference's own
// address. A block of records and tables linked only by such references can
// be moved or copied byte for byte (realloc, a copy to a CUDA device) and
// stays valid at its new address: no pointer is rewritten.
//
// The distance is read relative to `this`, so a REL is never copied out of
// its block (copying is deleted): code reads through it in place, el.rows[i][j],
// or takes the pointer it resolves to, const double* row = el.rows[i].
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/hostdevice.h"

template <typename T>
struct REL {
  int64_t offset;  // bytes from this field to element 0; 0: no table

  REL() = default;
  REL(const REL&) = delete;
  REL& operator=(const REL&) = delete;

  TQ_CPU_GPU const T* get() const {
    return offset == 0 ? nullptr : reinterpret_cast<const T*>(reinterpret_cast<const char*>(this) + offset);
  }
  TQ_CPU_GPU T* get() { return offset == 0 ? nullptr : reinterpret_cast<T*>(reinterpret_cast<char*>(this) + offset); }
  // The table of a reference known to be set, without the test for none.
  TQ_CPU_GPU const T* table() const { return reinterpret_cast<const T*>(reinterpret_cast<const char*>(this) + offset); }
  TQ_CPU_GPU const T& operator[](int64_t i) const { return get()[i]; }
  TQ_CPU_GPU T& operator[](int64_t i) { return get()[i]; }
  TQ_CPU_GPU operator const T*() const { return get(); }

  // Points the reference at target (null: no table); target lies in the
  // reference's own block.
  void Set(const T* target) {
    offset = target == nullptr ? 0 : reinterpret_cast<const char*>(target) - reinterpret_cast<const char*>(this);
  }
};

static_assert(sizeof(REL<double>) == 8);
static_assert(alignof(REL<double>) == 8);

// Rows of one length that lie one after another in the block, referenced as
// one table: row j is at data + j * stride (stride 0: every row is the same
// row), and rows from `rows` on are null.
template <typename T>
struct RELROWS {
  REL<T> data;     // row 0
  int32_t rows;    // rows present
  int32_t stride;  // values from one row to the next

  TQ_CPU_GPU const T* operator[](int64_t j) const { return j >= 0 && j < rows ? data.get() + j * stride : nullptr; }
  TQ_CPU_GPU bool operator==(std::nullptr_t) const { return rows == 0; }
  TQ_CPU_GPU bool operator!=(std::nullptr_t) const { return rows != 0; }
};

static_assert(sizeof(RELROWS<double>) == 16);
