#include "tests/language/language_test_support.h"


LanguageSession::LanguageSession() : language(std::make_unique<Compiler>()) {}

std::string LanguageSession::BlockText(const std::string& lines) {
  std::string text;
  size_t start = 0;
  for (;;) {
    size_t end = lines.find('\n', start);
    text += lines.substr(start, end == std::string::npos ? std::string::npos : end - start) + "\r\n";
    if (end == std::string::npos) return text;
    start = end + 1;
  }
}

int LanguageSession::DeclareArrays(const std::string& lines, std::string* message) {
  char text[2001] = "";
  int result = language->ParseArrays(BlockText(lines).c_str(), text);
  if (message != nullptr) *message = text;
  return result;
}

