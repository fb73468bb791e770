#include "language/number_format.h"

#include <cstring>

#include "language/decimal_scanner.h"

namespace {

constexpr const char* kConversionCharacters = "gGeEf";

std::string WithSinglePercents(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
  }
  return out;
}

// The conversion that begins behind the '%' at position percent: its end
// (the position of the conversion character) or npos when it is refused.
size_t ConversionEnd(const char* format, size_t percent) {
  size_t start = percent + 1;
  size_t length = ScanDecimal(format + start, kSignedDecimal);
  const char* exponent = static_cast<const char*>(std::memchr(format + start, 'e', length));
  const char* upperExponent = static_cast<const char*>(std::memchr(format + start, 'E', length));
  if (exponent == nullptr || (upperExponent != nullptr && upperExponent < exponent)) exponent = upperExponent;
  if (exponent != nullptr) return static_cast<size_t>(exponent - format);
  char conversion = format[start + length];
  if (conversion == '\0' || std::strchr(kConversionCharacters, conversion) == nullptr) return std::string::npos;
  return start + length;
}

}  // namespace

bool CheckNumberFormat(const char* format, NUMBERFORMATPARTS* parts) {
  size_t n = std::strlen(format);
  if (n == 0) return false;
  bool percentOpen = false;
  size_t conversionStart = std::string::npos;
  size_t conversionEnd = std::string::npos;
  for (size_t i = 0; i < n; ++i) {
    if (format[i] == '%') {
      percentOpen = !percentOpen;
      continue;
    }
    if (!percentOpen) continue;
    if (conversionStart != std::string::npos) return false;  // only one conversion
    conversionStart = i - 1;
    conversionEnd = ConversionEnd(format, conversionStart);
    if (conversionEnd == std::string::npos) return false;
    i = conversionEnd;
    percentOpen = false;
  }
  if (conversionStart == std::string::npos || percentOpen) return false;
  if (parts != nullptr) {
    std::string text(format);
    parts->before = WithSinglePercents(text.substr(0, conversionStart));
    parts->conversion = text.substr(conversionStart, conversionEnd + 1 - conversionStart);
    parts->after = WithSinglePercents(text.substr(conversionEnd + 1));
  }
  return true;
}
