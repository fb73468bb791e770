#include "language/compile_messages.h"

#include <cstdarg>
#include <cstdio>

#include "core/programinfo.h"
#include "language/messages.h"

std::string CutName(const std::string& name) { return name.substr(0, kMessageNameLength); }

std::string NumberedMessage(int number, ...) {
  char format[kDiagnosticLength + 1];
  GetMessageText(number, format, sizeof format);
  char text[kDiagnosticLength + 1];
  va_list arguments;
  va_start(arguments, number);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  return text;
}
