#include "tools/auxdata/binary_layout.h"

#include <cstdio>

std::string FileWithOffsetTable(const std::string& header, const std::vector<std::string>& records,
                                const std::string& trailer) {
  std::string bytes = header;
  size_t offset = header.size() + 4 * records.size();
  for (const std::string& record : records) {
    AppendRaw(&bytes, static_cast<int32_t>(offset));
    offset += record.size();
  }
  for (const std::string& record : records) bytes += record;
  return bytes + trailer;
}

bool WriteFileWhole(const std::string& path, const std::string& bytes) {
  const std::string temporary = path + ".part";
  FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (std::fclose(file) != 0 || !written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}
