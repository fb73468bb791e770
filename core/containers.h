// The program's own containers: a growable array of fixed-size elements, a
// counted string that owns its text, and an array of such strings. None keeps
// spare capacity: every change of size reallocates to the exact new size and
// new elements are zero-filled. They hold short lists (input lines, program
// lines, instruction lists), for which one reallocation per append is cheap.
#pragma once

#include <cstdint>

class CDynArray {
 public:
  CDynArray() : CDynArray(4) {}
  explicit CDynArray(int bytesPerElement)
      : count(0), elementSize(bytesPerElement), byteSize(0), data(nullptr) {}
  CDynArray(const CDynArray&) = delete;
  CDynArray& operator=(const CDynArray&) = delete;
  // Frees the block; the element size stays, so the array may be filled again.
  ~CDynArray() { Clear(); }
  void Clear();

  int GetCount() const { return count; }
  int ElementSize() const { return elementSize; }
  int ByteSize() const { return byteSize; }
  // Inserts one element (elementSize bytes at element) before index, 0 <= index <= count.
  void InsertAt(int index, const void* element);
  // Stores one element at index; grows the array with zero-filled gap elements
  // when index >= count.
  void SetAtGrow(int index, const void* element);
  // Stores a 4-byte value at index (arrays of 4-byte elements).
  void SetAt(int index, int32_t value) { SetAtGrow(index, &value); }
  // Removes the element at index, 0 <= index < count.
  void RemoveAt(int index);
  // Address of element index.
  void* ElementAt(int index) const { return static_cast<char*>(data) + static_cast<int64_t>(elementSize) * index; }
  // The typed view of the block: always the current block.
  template <typename T>
  T* Items() const { return static_cast<T*>(data); }

 protected:
  // Reallocates the block to exactly newCount elements, zero-filling new ones.
  void Resize(int newCount);

  int32_t count;        // number of elements
  int32_t elementSize;  // bytes per element, fixed at construction
  int32_t byteSize;     // always count * elementSize
  void* data;           // the heap block (null while empty)
};

class CStr {
 public:
  CStr();
  explicit CStr(const char* s);
  CStr(const CStr& other);
  CStr& operator=(const CStr& other);
  ~CStr();

  CStr& operator=(const char* s);
  CStr& operator+=(const char* s);
  const char* c_str() const { return text; }
  int GetLength() const { return length; }

  // A new string holding the first min(n, source length) characters of source.
  static CStr Left(int n, const CStr& source);
  // Removes the trailing run of blanks and tabs.
  void TrimRight();
  // Inserts s before the character at position, 0 <= position <= length.
  void Insert(int position, const char* s);
  // Position of the first c after start that lies outside double-quoted
  // literals, or -1 (also when the literal holding it is not closed).
  static int FindCharOutsideQuotes(const CStr& str, int start, char c);
  // The same for a substring; an empty sub gives the string's length.
  static int FindOutsideQuotes(const CStr& str, int start, const char* sub);

 private:
  friend class CStrArray;
  void SetText(const char* s, int n);

  int32_t length;  // characters, without the terminator
  char* text;      // owned block of length + 1 bytes, never null
};

// An array of CStr records. The array owns every element's text; elements are
// moved as plain records when the array shifts or reallocates them, so the
// ownership of a text moves with its record.
class CStrArray : public CDynArray {
 public:
  CStrArray() : CDynArray(static_cast<int>(sizeof(CStr))) {}
  CStrArray(const CStrArray&) = delete;
  CStrArray& operator=(const CStrArray&) = delete;
  // Frees every text and the block; the array may be filled again.
  ~CStrArray() { Clear(); }
  void Clear();

  void Add(const char* s);
  void SetAtGrow(int index, const char* s);
  void InsertEmptyAt(int index);
  void SetSize(int n);
  CStr& operator[](int index) const { return *static_cast<CStr*>(ElementAt(index)); }
  const char* GetAt(int index) const { return (*this)[index].c_str(); }

 private:
  // Gives elements first .. last-1 their own empty text (their records are zero).
  void MakeEmpty(int first, int last);
};
