#include "driver/data/raw_readers.h"

#include <cstring>

namespace {

// The files are little-endian, as is every host the program runs on; the
// bytes are copied unchanged.
template <typename T>
int ReadRaw(FILE* stream, T* out) {
  unsigned char bytes[sizeof(T)];
  if (std::fread(bytes, 1, sizeof(T), stream) != sizeof(T)) return 0;
  std::memcpy(out, bytes, sizeof(T));
  return 1;
}

}  // namespace

int ReadDouble(FILE* stream, double* out) { return ReadRaw(stream, out); }
int ReadInt(FILE* stream, int32_t* out) { return ReadRaw(stream, out); }
int ReadShort(FILE* stream, int16_t* out) { return ReadRaw(stream, out); }

char* ReadNonBlankLine(FILE* stream, char* buffer) {
  for (;;) {
    buffer[0] = '\0';
    if (!std::fgets(buffer, kNonBlankLineBuffer, stream)) return nullptr;
    // The first token delimited by line-end characters: drops the line end
    // and carriage returns in front of the text.
    char* start = buffer + std::strspn(buffer, "\n\r");
    const size_t length = std::strcspn(start, "\n\r");
    start[length] = '\0';
    if (start[std::strspn(start, " \t")] == '\0') continue;
    if (start != buffer) std::memmove(buffer, start, length + 1);
    return buffer;
  }
}

bool ReadTextLine(FILE* file, std::string* line) {
  line->clear();
  char buffer[1000];
  while (std::fgets(buffer, sizeof buffer, file)) {
    *line += buffer;
    if (!line->empty() && line->back() == '\n') break;
  }
  if (line->empty()) return false;
  while (!line->empty() && (line->back() == '\n' || line->back() == '\r')) line->pop_back();
  return true;
}
