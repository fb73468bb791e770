#include "core/containers.h"

#include <cstdlib>
#include <cstring>

#include "core/allocation.h"

// ---------------------------------------------------------------- CDynArray

void CDynArray::Clear() {
  std::free(data);
  data = nullptr;
  count = 0;
  byteSize = 0;
}

void CDynArray::Resize(int newCount) {
  int oldBytes = byteSize;
  count = newCount;
  byteSize = newCount * elementSize;
  data = CheckedRealloc(data, byteSize, "dynamic array");
  if (byteSize > oldBytes) std::memset(static_cast<char*>(data) + oldBytes, 0, byteSize - oldBytes);
}

void CDynArray::InsertAt(int index, const void* element) {
  int tail = count - index;
  Resize(count + 1);
  char* base = static_cast<char*>(data);
  std::memmove(base + (index + 1) * elementSize, base + index * elementSize,
               static_cast<size_t>(tail) * elementSize);
  std::memcpy(base + index * elementSize, element, elementSize);
}

void CDynArray::SetAtGrow(int index, const void* element) {
  if (index >= count) Resize(index + 1);
  std::memcpy(ElementAt(index), element, elementSize);
}

void CDynArray::RemoveAt(int index) {
  char* base = static_cast<char*>(data);
  int tail = count - index - 1;
  std::memmove(base + index * elementSize, base + (index + 1) * elementSize,
               static_cast<size_t>(tail) * elementSize);
  Resize(count - 1);
}

// ---------------------------------------------------------------- CStr

CStr::CStr() : length(0), text(static_cast<char*>(CheckedMalloc(1, "string"))) { text[0] = '\0'; }

CStr::CStr(const char* s) : CStr() { *this = s; }

CStr::CStr(const CStr& other) : CStr() { SetText(other.text, other.length); }

CStr& CStr::operator=(const CStr& other) {
  if (this != &other) SetText(other.text, other.length);
  return *this;
}

CStr::~CStr() { std::free(text); }

void CStr::SetText(const char* s, int n) {
  char* block = static_cast<char*>(CheckedMalloc(static_cast<size_t>(n) + 1, "string"));
  std::memcpy(block, s, n);
  block[n] = '\0';
  std::free(text);
  text = block;
  length = n;
}

CStr& CStr::operator=(const char* s) {
  SetText(s, static_cast<int>(std::strlen(s)));
  return *this;
}

CStr& CStr::operator+=(const char* s) {
  int added = static_cast<int>(std::strlen(s));
  text = static_cast<char*>(CheckedRealloc(text, static_cast<size_t>(length) + added + 1, "string"));
  std::memcpy(text + length, s, static_cast<size_t>(added) + 1);
  length += added;
  return *this;
}

CStr CStr::Left(int n, const CStr& source) {
  CStr result;
  int m = n < source.length ? n : source.length;
  if (m > 0) result.SetText(source.text, m);
  return result;
}

void CStr::TrimRight() {
  int newLength = length;
  while (newLength > 0 && (text[newLength - 1] == ' ' || text[newLength - 1] == '\t')) --newLength;
  if (newLength == length) return;
  text = static_cast<char*>(CheckedRealloc(text, static_cast<size_t>(newLength) + 1, "string"));
  text[newLength] = '\0';
  length = newLength;
}

void CStr::Insert(int position, const char* s) {
  int added = static_cast<int>(std::strlen(s));
  text = static_cast<char*>(CheckedRealloc(text, static_cast<size_t>(length) + added + 1, "string"));
  std::memmove(text + position + added, text + position, static_cast<size_t>(length - position) + 1);
  std::memcpy(text + position, s, added);
  length += added;
}

namespace {

// Finds the next occurrence of the pattern at or after from; -1 when none.
int FindFrom(const char* text, int length, int from, const char* pattern) {
  if (from > length) return -1;
  const char* hit = std::strstr(text + from, pattern);
  return hit ? static_cast<int>(hit - text) : -1;
}

int CountQuotes(const char* text, int from, int to) {
  int quotes = 0;
  for (int i = from; i < to; ++i) quotes += text[i] == '"';
  return quotes;
}

// A quote-aware search: an occurrence counts only when an even number of
// double quotes stands between the current quote origin and it.
int FindPatternOutsideQuotes(const char* text, int length, int start, const char* pattern) {
  int searchPoint = start + 1 < 0 ? 0 : start + 1;
  int candidate = FindFrom(text, length, searchPoint, pattern);
  if (candidate < 0) return -1;
  if (text[candidate] == '"') {
    int closing = FindFrom(text, length, candidate + 1, "\"");
    if (closing < 0) return -1;
    searchPoint = closing + 1;
  }
  int quoteOrigin = 0;
  for (;;) {
    int hit = FindFrom(text, length, searchPoint, pattern);
    if (hit < 0) return -1;
    if (CountQuotes(text, quoteOrigin, hit) % 2 == 0) return hit;
    int closing = FindFrom(text, length, hit, "\"");
    if (closing < 0) return -1;
    searchPoint = quoteOrigin = closing + 1;
  }
}

}  // namespace

int CStr::FindCharOutsideQuotes(const CStr& str, int start, char c) {
  char pattern[2] = {c, '\0'};
  if (c == '\0') return -1;
  return FindPatternOutsideQuotes(str.text, str.length, start, pattern);
}

int CStr::FindOutsideQuotes(const CStr& str, int start, const char* sub) {
  if (sub[0] == '\0') return str.length;
  return FindPatternOutsideQuotes(str.text, str.length, start, sub);
}

// ---------------------------------------------------------------- CStrArray

void CStrArray::MakeEmpty(int first, int last) {
  for (int i = first; i < last; ++i) {
    CStr& element = (*this)[i];
    element.length = 0;
    element.text = static_cast<char*>(CheckedMalloc(1, "string"));
    element.text[0] = '\0';
  }
}

void CStrArray::Clear() {
  for (int i = 0; i < count; ++i) std::free((*this)[i].text);
  CDynArray::Clear();
}

void CStrArray::Add(const char* s) { SetAtGrow(count, s); }

void CStrArray::SetAtGrow(int index, const char* s) {
  int oldCount = count;
  if (index >= count) {
    Resize(index + 1);
    MakeEmpty(oldCount, index + 1);
  }
  (*this)[index] = s;
}

void CStrArray::InsertEmptyAt(int index) {
  CStr* zeroRecord = static_cast<CStr*>(CheckedMalloc(sizeof(CStr), "string record"));
  std::memset(static_cast<void*>(zeroRecord), 0, sizeof(CStr));
  CDynArray::InsertAt(index, zeroRecord);
  std::free(zeroRecord);
  MakeEmpty(index, index + 1);
}

void CStrArray::SetSize(int n) {
  int oldCount = count;
  for (int i = n; i < oldCount; ++i) std::free((*this)[i].text);
  Resize(n);
  MakeEmpty(oldCount, n);
}
