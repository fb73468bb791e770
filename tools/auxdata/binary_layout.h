// Little-endian binary layout of the auxiliary data files: raw values
// appended to a byte string, and a file of records behind a table of their
// byte offsets.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

static_assert(std::endian::native == std::endian::little,
              "the auxiliary data files are little-endian and written by copying values");

template <typename T>
void AppendRaw(std::string* bytes, T value) {
  char raw[sizeof(T)];
  std::memcpy(raw, &value, sizeof(T));
  bytes->append(raw, sizeof(T));
}

// header, then one int32 offset per record (from the start of the file),
// then the records in order, then the trailer (which no reader uses).
std::string FileWithOffsetTable(const std::string& header, const std::vector<std::string>& records,
                                const std::string& trailer);

// Writes the bytes to path through a temporary file renamed into place, so
// that a failure never leaves a half-written file. False on failure.
bool WriteFileWhole(const std::string& path, const std::string& bytes);
