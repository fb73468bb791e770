#include "driver/directives/pulse_height_directives.h"

#include <cstdio>
#include <string>

#include "core/text.h"
#include "driver/directives/geometry_tables.h"
#include "driver/directives/material_directives.h"
#include "driver/directives/run_directives.h"
#include "driver/directives/tally_directives.h"
#include "driver/directives/word_list.h"
#include "driver/input/input_reader.h"
#include "driver/input/value_forms.h"

namespace directives {
std::vector<PULSEHEIGHTTALLY> pulseHeightTally;
int32_t nPulseHeight_tot = 0;
int32_t nWholeGeometryPulseHeight = 0;
std::vector<int16_t> cellsPulseHeight;
int16_t nCellsPulseHeight = 0;
std::vector<CONTROLTALLY> pulseHeightControlTallies;
bool pulseHeightTalliesPresent = false;
}  // namespace directives

namespace {

constexpr const char* kPulseHeightKeyword = "PULSE_HEIGHT";

enum PulseHeightOption { kOptionError, kOptionOutput, kOptionInterval, kOptionEDeposition, kOptionCount };

struct PULSEHEIGHTINPUT {
  PULSEHEIGHTTALLY rec{};
  WORDLIST words;
  size_t pos = 0;
  bool given[kOptionCount] = {};
  int targetKind = kNoTarget;
  double target = 0.0;
  int outputValue = -1;
};

bool ReportRangeMissing() {
  printf("Error: Definition of a pulse-height tally energy range is missing.\n");
  return false;
}

// "C<n>": the tally of cell n, or of the union whose first cell it is.
bool ReadCellForm(const char* token, PULSEHEIGHTINPUT* t) {
  int64_t id = 0;
  if (!ReadWholeInteger(token + 1, &id) || id < 1 || id > INT32_MAX) {
    printf("Error: Invalid specification of a cell \"%s\" in the definition of a pulse-height tally.\n", token);
    return false;
  }
  const int32_t index = FindCell(static_cast<int32_t>(id));
  if (index < 0) {
    printf("Error: Undefined cell identifier \"%d\" in the definition of a pulse-height tally.\n",
           static_cast<int>(id));
    return false;
  }
  if (directives::complexGeometry == 0) {
    printf(
        "Error: Usage of a cell identifier in the definition of a pulse-height tally is allowed only in complex "
        "geometry mode, but the previous directives imply simple geometry.\n");
    return false;
  }
  directives::complexGeometry = directives::complexGeometry < 0 ? 1 : directives::complexGeometry;
  const int32_t u = directives::geometry.cell[static_cast<size_t>(index)].unionIndex;
  if (u >= 0 && directives::geometry.unionCells[static_cast<size_t>(u)][0] != index) {
    printf("Error: Pulse-height tallies for unions must include the identifier of the first cell of the union.\n");
    return false;
  }
  t->rec.cell = index;
  return true;
}

// The cells of the tally's cell (the members of its union, or the cell alone).
std::vector<int32_t> TalliedCells(int32_t index) {
  const int32_t u = directives::geometry.cell[static_cast<size_t>(index)].unionIndex;
  if (u < 0) return {index};
  const std::vector<int16_t>& members = directives::geometry.unionCells[static_cast<size_t>(u)];
  return std::vector<int32_t>(members.begin(), members.end());
}

// A cell tally: the cell (and every cell of its union) gets the next
// pulse-height slot with its first tally, and counts its tallies.
void RegisterCellTally(PULSEHEIGHTTALLY* rec) {
  const std::vector<int32_t> cells = TalliedCells(rec->cell);
  CELL& first = directives::geometry.cell[static_cast<size_t>(rec->cell)];
  if (first.pulseHeight == 0) {
    const int16_t slot = directives::nCellsPulseHeight++;
    directives::cellsPulseHeight.push_back(static_cast<int16_t>(rec->cell));
    for (int32_t c : cells) directives::geometry.cell[static_cast<size_t>(c)].pulseHeightSlot = slot;
  }
  for (int32_t c : cells) ++directives::geometry.cell[static_cast<size_t>(c)].pulseHeight;
  rec->ordinal = first.pulseHeight;
}

bool ReadNamedRange(const char* name, PULSEHEIGHTINPUT* t) {
  for (int i = 0; i < directives::nRanges[kQuantityE]; ++i) {
    const TALLYRANGE& r = directives::rangeData[kQuantityE][i];
    if (EqualNoCase(std::string(r.name), std::string(name))) {
      t->rec.lower = r.lower;
      t->rec.upper = r.upper;
      t->rec.bins = r.bins;
      return true;
    }
  }
  printf(
      "Error: \"%s\" is not a valid specification of an energyy value or an energy range in the definition of a "
      "pulse-height tally.\n",
      name);
  return false;
}

bool ReadExplicitRange(PULSEHEIGHTINPUT* t) {
  double limits[2] = {};
  int64_t bins = 0;
  for (int i = 0; i < 3; ++i) {
    if (t->pos >= t->words.size()) {
      printf("Error: Number of entries in specification of the pulse-height tally energy range is too small.\n");
      return false;
    }
    const char* token = t->words[t->pos++].c_str();
    const bool formed = i < 2 ? ReadWholeNumber(token, &limits[i]) : ReadWholeInteger(token, &bins);
    if (!formed) {
      printf("Error: Invalid number \"%s\" in specification of the pulse-height tally energy range.\n", token);
      return false;
    }
  }
  if (!(limits[1] > limits[0] && limits[1] > 0.0)) {
    printf(
        "Error in values of energy limits of the pulse-height tally (the first limit must be less than the second one, "
        "and the second limit must be positive).\n");
    return false;
  }
  if (bins < 1 || bins > kMaxPulseHeightBins) {
    printf(
        "Error: Invalid number of the pulse-height tally bins (that number must be greater than 0 and less than %d).\n",
        kMaxPulseHeightBins + 1);
    return false;
  }
  t->rec.lower = limits[0];
  t->rec.upper = limits[1];
  t->rec.bins = static_cast<int32_t>(bins);
  return true;
}

int OptionOf(const char* word, int* errorKind) {
  static const char* const kErrorWords[3] = {"AVGERR", "MINERR", "MAXERR"};
  for (int k = 0; k < 3; ++k) {
    if (EqualNoCase(word, kErrorWords[k])) {
      *errorKind = k;
      return kOptionError;
    }
  }
  if (EqualNoCase(word, "OUTPUT")) return kOptionOutput;
  if (EqualNoCase(word, "INTERVAL")) return kOptionInterval;
  if (EqualNoCase(word, "E_DEPOSITION")) return kOptionEDeposition;
  return -1;
}

bool ReadZeroOrOne(const char* value, int* result) {
  int64_t v = 0;
  if (!ReadWholeInteger(value, &v) || (v != 0 && v != 1)) return false;
  *result = static_cast<int>(v);
  return true;
}

bool ReadOptionValue(PULSEHEIGHTINPUT* t, int option, int errorKind, const char* value) {
  int v = 0;
  double x = 0.0;
  switch (option) {
    case kOptionError:
      if (!ReadWholeNumber(value, &x) || !(x > 0.0 && x < 1.0)) {
        printf(
            "Error: Illegal value of the relative standard deviation \"%s\" in specification of a pulse-height tally "
            "(it must be greater than 0 and less than 1).\n",
            value);
        return false;
      }
      t->targetKind = errorKind;
      t->target = x;
      return true;
    case kOptionOutput:
      if (!ReadZeroOrOne(value, &v)) {
        printf(
            "Error: Illegal value \"%s\" of the option to write the pulse-height tally data to a file during the "
            "simulation (it must be 0 or 1).\n",
            value);
        return false;
      }
      t->outputValue = v;
      return true;
    case kOptionInterval:
      if (!ReadWholeNumber(value, &x) || !(x >= 1.0)) {
        printf(
            "Error: Illegal value \"%s\" of the time interval of writing the pulse-height tally data to a file during "
            "the simulation (it cannot be less than 1 s).\n",
            value);
        return false;
      }
      t->rec.interval = x;
      return true;
    case kOptionEDeposition:
      if (!ReadZeroOrOne(value, &v)) {
        printf(
            "Error: Illegal value \"%s\" of the option to calculate the energy-deposition tally in specification of a "
            "pulse-height tally (it must be 0 or 1).\n",
            value);
        return false;
      }
      t->rec.eDeposition = static_cast<uint8_t>(v);
      return true;
  }
  return false;
}

bool ReportDuplicateOption(int option) {
  static const char* const kDuplicate[kOptionCount] = {
      "Error: Duplicate specification of the relative standard deviation in specification of a pulse-height tally.\n",
      "Error: Duplicate specification of the option to write the pulse-height tally data to a file during the "
      "simulation.\n",
      "Error: Duplicate specification of the time interval of writing the pulse-height tally data to a file during the "
      "simulation.\n",
      "Error: Duplicate specification of the option to calculate the energy-deposition tally in specification of a "
      "pulse-height tally.\n"};
  printf("%s", kDuplicate[option]);
  return false;
}

bool ReportMissingValue(int option) {
  static const char* const kMissing[kOptionCount] = {
      "Error: Value of the relative standard deviation is missing in specification of a pulse-height tally.\n",
      "Error: Value of the option to write the tally data to a file during the simulation is missing in specification "
      "of a pulse-height tally.\n",
      "Error: Value of the time interval of writing the tally data to a file during the simulation is missing in "
      "specification of a pulse-height tally.\n",
      "Error: Value of the option to calculate the energy-deposition tally is missing in specification of a "
      "pulse-height tally.\n"};
  printf("%s", kMissing[option]);
  return false;
}

bool ReadOptions(PULSEHEIGHTINPUT* t) {
  while (t->pos < t->words.size()) {
    const size_t entry = t->pos + 1;
    const char* word = t->words[t->pos++].c_str();
    int errorKind = 0;
    const int option = OptionOf(word, &errorKind);
    if (option < 0) {
      printf("Error: Invalid entry No. %d (\"%s\") in specification of a pulse-height tally.\n",
             static_cast<int>(entry), word);
      return false;
    }
    if (t->given[option]) return ReportDuplicateOption(option);
    t->given[option] = true;
    if (t->pos >= t->words.size()) return ReportMissingValue(option);
    if (!ReadOptionValue(t, option, errorKind, t->words[t->pos++].c_str())) return false;
  }
  return true;
}

void StorePulseHeightTally(PULSEHEIGHTINPUT* t) {
  PULSEHEIGHTTALLY& rec = t->rec;
  rec.invWidth = rec.bins / (rec.upper - rec.lower);
  if (t->outputValue >= 0) {
    rec.writeDuringRun = static_cast<uint8_t>(t->outputValue);
  } else if (t->targetKind != kNoTarget && directives::tallyOutputOptions.mode == 1) {
    rec.writeDuringRun = 1;
  }
  if (t->targetKind != kNoTarget) directives::targetErrorGiven = true;
  if (t->targetKind != kNoTarget || rec.writeDuringRun) {
    directives::pulseHeightControlTallies.push_back(
        CONTROLTALLY{directives::nPulseHeight_tot, t->targetKind, t->target});
    ++directives::nControlTallies;
  }
  if (rec.cell < 0) {
    rec.ordinal = ++directives::nWholeGeometryPulseHeight;
  } else {
    RegisterCellTally(&rec);
  }
  directives::pulseHeightTally.push_back(rec);
  ++directives::nPulseHeight_tot;
  directives::pulseHeightTalliesPresent = true;
}

bool DefinePulseHeightTally() {
  PULSEHEIGHTINPUT t;
  t.words = SplitWords(RestOfLine());
  if (t.words.empty()) return ReportRangeMissing();
  t.rec.cell = -1;
  const char* first = t.words[0].c_str();
  if (first[0] == 'C' || first[0] == 'c') {
    if (!ReadCellForm(first, &t)) return false;
    t.pos = 1;
    if (t.pos >= t.words.size()) return ReportRangeMissing();
  }
  const char* rangeWord = t.words[t.pos].c_str();
  if (rangeWord[0] == 'E' || rangeWord[0] == 'e') {
    ++t.pos;
    if (!ReadNamedRange(rangeWord, &t)) return false;
  } else if (!ReadExplicitRange(&t)) {
    return false;
  }
  t.rec.eDeposition = static_cast<uint8_t>(directives::tallyOptions.eDeposition != 0);
  t.rec.writeDuringRun = static_cast<uint8_t>(directives::tallyOutputOptions.mode > 1);
  t.rec.interval = directives::tallyOutputOptions.interval;
  if (!ReadOptions(&t)) return false;
  StorePulseHeightTally(&t);
  return true;
}

}  // namespace

bool HandlePulseHeightDirective(const char* word) {
  if (!EqualNoCase(word, kPulseHeightKeyword)) return false;
  input::lastKeyword = -1;
  if (input::inputPass == 0) {
    SkipRestOfLine();
    input::lineDone = true;
    return true;
  }
  input::lineDone = DefinePulseHeightTally();
  return true;
}

void ListPulseHeightDirectives(KEYWORDNAMES* names) { AddKeywordName(names, kPulseHeightKeyword); }

void ResetPulseHeightDirectives() {
  directives::pulseHeightTally.clear();
  directives::nPulseHeight_tot = 0;
  directives::nWholeGeometryPulseHeight = 0;
  directives::cellsPulseHeight.clear();
  directives::nCellsPulseHeight = 0;
  directives::pulseHeightControlTallies.clear();
  directives::pulseHeightTalliesPresent = false;
}
