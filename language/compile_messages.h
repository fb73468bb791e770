// Compile-time messages: numbered texts fetched from the message table and
// formatted with the names and numbers they mention. Names inserted into a
// message are cut to 50 characters.
#pragma once

#include <string>

constexpr size_t kMessageNameLength = 50;

// The first 50 characters of a name, as messages show it.
std::string CutName(const std::string& name);

// Message `number` formatted with printf-style arguments (C strings, chars
// and ints, in the order its text asks for them).
std::string NumberedMessage(int number, ...);

// A compile-time outcome: empty when all went well, else the message.
struct COMPILEFAULT {
  std::string text;
  explicit operator bool() const { return !text.empty(); }
};

inline COMPILEFAULT Fault(std::string text) { return {std::move(text)}; }
