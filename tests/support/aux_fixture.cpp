#include "tests/support/aux_fixture.h"

#include <cstdio>
#include <cstring>

const char* const kAltDataDelimiter = "-----------------------------";

namespace {

template <typename T>
void Append(std::string* bytes, T value) {
  char raw[sizeof(T)];
  std::memcpy(raw, &value, sizeof(T));  // the test hosts are little-endian
  bytes->append(raw, sizeof(T));
}

// Offset table of `count` entries at the start of the file followed by the
// records, after a header of headerBytes before the table.
std::string WithOffsetTable(const std::string& header, const std::vector<std::string>& records) {
  std::string bytes = header;
  int32_t offset = static_cast<int32_t>(header.size() + 4 * records.size());
  for (const std::string& record : records) {
    Append(&bytes, offset);
    offset += static_cast<int32_t>(record.size());
  }
  for (const std::string& record : records) bytes += record;
  return bytes;
}

void AppendTriples(std::string* bytes, const std::vector<CSPOINT3>& points) {
  for (const CSPOINT3& p : points) {
    Append(bytes, p.energy);
    Append(bytes, p.electron);
    Append(bytes, p.positron);
  }
}

std::string Number(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15e", value);
  return buffer;
}

}  // namespace

std::string IonDwbaFileBytes(const std::map<int, std::vector<DWBATABLE>>& records) {
  std::vector<std::string> bodies;
  for (int z = 1; z <= 99; ++z) {
    std::string record;
    auto found = records.find(z);
    const std::vector<DWBATABLE> none;
    const std::vector<DWBATABLE>& tables = found == records.end() ? none : found->second;
    Append(&record, static_cast<int32_t>(tables.size()));
    for (const DWBATABLE& t : tables) {
      Append(&record, t.subshell);
      Append(&record, t.declaredCount >= 0 ? t.declaredCount : static_cast<int32_t>(t.points.size()));
      AppendTriples(&record, t.points);
    }
    bodies.push_back(record);
  }
  return WithOffsetTable("", bodies);
}

std::string DpwTotalFileBytes(const std::map<int, std::vector<CSPOINT3>>& records) {
  std::vector<std::string> bodies;
  const std::vector<CSPOINT3> minimal = {{10.0, 1.0, 1.0}, {1e11, 1.0, 1.0}};
  for (int z = 1; z <= 100; ++z) {
    auto found = records.find(z);
    const std::vector<CSPOINT3>& points = found == records.end() ? minimal : found->second;
    std::string record;
    Append(&record, static_cast<int32_t>(points.size()));
    AppendTriples(&record, points);
    bodies.push_back(record);
  }
  return WithOffsetTable("", bodies);
}

std::string DpwAngularFileBytes(const std::vector<double>& cosines,
                                const std::map<int, std::vector<DPWDISTRIBUTION>>& records) {
  std::string header;
  Append(&header, static_cast<int16_t>(cosines.size()));
  for (double c : cosines) Append(&header, c);
  DPWDISTRIBUTION flat;
  for (size_t i = 0; i < cosines.size(); ++i)
    flat.points.push_back({static_cast<int16_t>(i), 1.0f, 1.0f});
  std::vector<DPWDISTRIBUTION> minimal = {flat, flat};
  minimal[0].energy = 10.0;
  minimal[1].energy = 1e11;
  std::vector<std::string> bodies;
  for (int z = 1; z <= 100; ++z) {
    auto found = records.find(z);
    const std::vector<DPWDISTRIBUTION>& list = found == records.end() ? minimal : found->second;
    std::string record;
    Append(&record, static_cast<int32_t>(list.size()));
    for (const DPWDISTRIBUTION& d : list) {
      Append(&record, d.energy);
      Append(&record, static_cast<int32_t>(d.points.size()));
      for (const DPWPOINT& p : d.points) {
        Append(&record, p.cosineIndex);
        Append(&record, p.electron);
        Append(&record, p.positron);
      }
    }
    bodies.push_back(record);
  }
  return WithOffsetTable(header, bodies);
}

std::string EedlElasticText(const std::map<int, std::vector<std::pair<double, double>>>& blocks) {
  std::string text;
  for (const auto& [z, points] : blocks) {
    text += "Z = " + std::to_string(z) + "\n";
    for (const auto& [energy, total] : points) text += Number(energy) + " " + Number(total) + "\n";
    text += "\n";
  }
  return text;
}

std::string AltExcitationText(const std::vector<ALTLEVEL>& levels) {
  std::string text = "Alternative excitation cross sections (synthetic)\n\n";
  for (const ALTLEVEL& level : levels) {
    text += "EXCITATION\nX -> X*\n " + Number(level.energyLoss) + "\nCOMMENT: synthetic level\n";
    text += std::string(kAltDataDelimiter) + "\n";
    for (const auto& [energy, cs] : level.points) text += Number(energy) + "\t" + Number(cs) + "\n";
    text += std::string(kAltDataDelimiter) + "\n\n";
  }
  return text;
}

std::string AltIonizationText(const std::vector<std::vector<std::pair<double, double>>>& blocks) {
  std::string text = "Alternative ionization cross sections (synthetic)\n";
  for (const auto& block : blocks) {
    text += "IONIZATION\nX -> X^+\n\n" + std::string(kAltDataDelimiter) + "\n";
    for (const auto& [energy, cs] : block) text += Number(energy) + "\t" + Number(cs) + "\n";
    text += std::string(kAltDataDelimiter) + "\n\n";
  }
  return text;
}
