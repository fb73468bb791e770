// Small text helpers shared by the readers of the command line, the input
// file and the data files.
#pragma once

#include <cctype>
#include <cstddef>
#include <string>

inline bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }

// First character that is not a blank or tab.
inline const char* SkipBlanks(const char* text) {
  while (IsBlank(*text)) ++text;
  return text;
}

// True when only blanks and tabs (or nothing) follow.
inline bool OnlyBlanks(const char* text) { return *SkipBlanks(text) == '\0'; }

inline char ToUpper(char ch) { return static_cast<char>(std::toupper(static_cast<unsigned char>(ch))); }

// Compares the first n characters without regard to case; false when either text is shorter.
inline bool EqualNoCaseN(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (a[i] == '\0' || b[i] == '\0') return false;
    if (ToUpper(a[i]) != ToUpper(b[i])) return false;
  }
  return true;
}

inline bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && EqualNoCaseN(a.c_str(), b.c_str(), a.size());
}

// The text without its trailing blanks and tabs.
inline std::string TrimmedRight(std::string text) {
  while (!text.empty() && IsBlank(text.back())) text.pop_back();
  return text;
}
