// Splitting the rest of a directive line into its words, for directives that
// look at the line as a whole (a quoted name, items in any order).
#pragma once

#include <string>
#include <vector>

#include "core/text.h"

using WORDLIST = std::vector<std::string>;

// The words of text, separated by blanks, tabs and line ends.
inline WORDLIST SplitWords(const char* text) {
  WORDLIST words;
  if (text == nullptr) return words;
  std::string word;
  for (const char* p = text;; ++p) {
    const bool separator = *p == '\0' || IsBlank(*p) || *p == '\n' || *p == '\r';
    if (!separator) {
      word.push_back(*p);
    } else if (!word.empty()) {
      words.push_back(word);
      word.clear();
    }
    if (*p == '\0') break;
  }
  return words;
}
