#include "driver/data/aux_files.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/elements.h"
#include "driver/data/endf_reader.h"
#include "driver/data/raw_readers.h"
#include "platform/paths.h"

namespace {

// Reads `count` record offsets; each must exceed the one before, the first
// must exceed `headerEnd` (the last byte of the file's header).
bool ReadOffsetTable(FILE* file, int count, int32_t headerEnd, int32_t* offsets) {
  int32_t previous = headerEnd;
  for (int i = 0; i < count; ++i) {
    if (ReadInt(file, &offsets[i]) != 1 || offsets[i] <= previous) return false;
    previous = offsets[i];
  }
  return true;
}

// Data files are opened read-only.
FILE* OpenBinary(const std::string& name) { return OpenRegularFileForReading(name, "rb"); }

int OpenBremsFile(const ELEMENTLOADOPTIONS& options, AUXDATAFILES* files) {
  files->bremsName = options.dataFolder + "Brems_angular_prob_dens.dat";
  files->brems = OpenBinary(files->bremsName);
  if (!files->brems) return AuxFileMissing(files->bremsName);
  if (!ReadOffsetTable(files->brems, 100, 399, files->bremsOffsets))
    return FileError(files->bremsName.c_str());
  return 0;
}

int OpenDwbaFile(const ELEMENTLOADOPTIONS& options, AUXDATAFILES* files) {
  files->dwbaName = options.dataFolder + "IonDWBA.dat";
  files->dwba = OpenBinary(files->dwbaName);
  if (!files->dwba) return AuxFileMissing(files->dwbaName);
  if (!ReadOffsetTable(files->dwba, kDwbaElements, 4 * kDwbaElements - 1, files->dwbaOffsets))
    return FileError(files->dwbaName.c_str());
  return 0;
}

int OpenDpwFiles(const ELEMENTLOADOPTIONS& options, AUXDATAFILES* files) {
  files->dpwTotalName = options.dataFolder + "ElasticDPW_totalCS.dat";
  files->dpwAngularName = options.dataFolder + "ElasticDPW_angularDistr.dat";
  files->dpwTotal = OpenBinary(files->dpwTotalName);
  if (!files->dpwTotal) return AuxFileMissing(files->dpwTotalName);
  files->dpwAngular = OpenBinary(files->dpwAngularName);
  if (!files->dpwAngular) return AuxFileMissing(files->dpwAngularName);
  // The angular file starts with the common cosine grid.
  int16_t n = 0;
  if (ReadShort(files->dpwAngular, &n) != 1 || n < 2 || n > kMaxDpwCosines)
    return FileError(files->dpwAngularName.c_str());
  files->dpwCosines.resize(n);
  for (double& cosine : files->dpwCosines)
    if (ReadDouble(files->dpwAngular, &cosine) != 1) return FileError(files->dpwAngularName.c_str());
  if (!ReadOffsetTable(files->dpwTotal, 100, 399, files->dpwTotalOffsets))
    return FileError(files->dpwTotalName.c_str());
  if (!ReadOffsetTable(files->dpwAngular, 100, 8 * n + 401, files->dpwAngularOffsets))
    return FileError(files->dpwAngularName.c_str());
  return 0;
}

// ---- The information file.

// A token that is a decimal number in whole.
bool WholeNumber(const char* token, double* value) {
  char* end = nullptr;
  *value = std::strtod(token, &end);
  return end != token && *end == '\0';
}

// The messages of one keyword: atomic number missing, atomic number out of
// range (%d), value missing (%s (Z = %d)).
struct KEYWORDMESSAGES {
  const char* keyword;
  const char* missingZ;
  const char* illegalZ;
  const char* missingValue;
};

enum AltKeyword {
  kExcFn, kIonFn, kExcInterpEnd, kIonInterpEnd, kExcInterpRule, kIonInterpRule,
  kExcInterpCoefs, kIonInterpCoefs, kKeywordCount
};

const KEYWORDMESSAGES kKeywords[kKeywordCount] = {
    {"EXC_FN",
     "Error: Atomic number is missing in specification of the alternative excitation cross section "
     "file name.\n",
     "Error: Illegal atomic number \"%d\" in specification of the alternative excitation cross "
     "section file name.\n",
     "Error: Alternative excitation cross-section file name for %s (Z = %d) is missing.\n"},
    {"ION_FN",
     "Error: Atomic number is missing in specification of the alternative ionization cross section "
     "file name.\n",
     "Error: Illegal atomic number number \"%d\" in specification of the alternative ionization "
     "cross section file name.\n",
     "Error: Alternative ionization cross-section file name for %s (Z = %d) is missing.\n"},
    {"EXC_INTERP_END",
     "Error: Atomic number is missing in specification of the excitation cross section "
     "interpolation range endpoint.\n",
     "Error: Illegal atomic number \"%d\" in specification of the excitation cross section "
     "interpolation range endpoint.\n",
     "Error: Endpoint energy value of the excitation cross section interpolation range for %s "
     "(Z = %d) is missing.\n"},
    {"ION_INTERP_END",
     "Error: Atomic number is missing in specification of the ionization cross section "
     "interpolation range endpoint.\n",
     "Error: Illegal atomic number \"%d\" in specification of the ionization cross section "
     "interpolation range endpoint.\n",
     "Error: Endpoint energy value of the ionization cross section interpolation range for %s "
     "(Z = %d) is missing.\n"},
    {"EXC_INTERP_RULE",
     "Error: Atomic number is missing in specification of the excitation cross section "
     "interpolation rule.\n",
     "Error: Illegal atomic number \"%d\" in specification of the excitation cross section "
     "interpolation rule.\n",
     "Error: Excitation cross section interpolation rule specifier for %s (Z = %d) is missing.\n"},
    {"ION_INTERP_RULE",
     "Error: Atomic number is missing in specification of the ionization cross section "
     "interpolation rule.\n",
     "Error: Illegal atomic number \"%d\" in specification of the ionization cross section "
     "interpolation rule.\n",
     "Error: Ionization cross section interpolation rule specifier for %s (Z = %d) is missing.\n"},
    {"EXC_INTERP_COEFS",
     "Error: Atomic number is missing in specification of the excitation cross section "
     "interpolation coefficients.\n",
     "Error: Illegal atomic number \"%d\" in specification of the excitation cross section "
     "interpolation coefficients.\n",
     "Error: Number of interpolation coefficients for excitation cross section of %s (Z = %d) is "
     "less than 4.\n"},
    {"ION_INTERP_COEFS",
     "Error: Atomic number is missing in specification of the ionization cross section "
     "interpolation coefficients.\n",
     "Error: Illegal atomic number \"%d\" in specification of the ionization cross section "
     "interpolation coefficients.\n",
     "Error: Number of interpolation coefficients for ionization cross section of %s (Z = %d) is "
     "less than 4.\n"},
};

const char* const kInvalidCoefficient[2] = {
    "Error: Invalid interpolation coefficient \"%s\" for excitation cross section of %s (Z = %d).\n",
    "Error: Invalid interpolation coefficient \"%s\" for ionization cross section of %s (Z = %d).\n"};

// Reads one line whole (any length, any bytes, NUL included) with its line
// end when it has one; false at the end of the file.
bool ReadWholeLine(FILE* file, std::string* line, bool* hadLineEnd) {
  line->clear();
  *hadLineEnd = false;
  int ch;
  while ((ch = std::fgetc(file)) != EOF) {
    line->push_back(static_cast<char>(ch));
    if (ch == '\n') {
      *hadLineEnd = true;
      break;
    }
  }
  return !line->empty();
}

// Splits the text at blanks and tabs (and stray carriage returns).
std::vector<std::string> SplitTokens(const std::string& text) {
  std::vector<std::string> tokens;
  size_t i = 0;
  while (i < text.size()) {
    i = text.find_first_not_of(" \t\r\n", i);
    if (i == std::string::npos) break;
    size_t j = text.find_first_of(" \t\r\n", i);
    if (j == std::string::npos) j = text.size();
    tokens.push_back(text.substr(i, j - i));
    i = j;
  }
  return tokens;
}

// Text after the first `skip` tokens, without leading and trailing blanks,
// tabs and line ends: a file name that may hold inner blanks.
std::string RestOfLine(const std::string& line, int skip) {
  size_t i = 0;
  for (int t = 0; t < skip; ++t) {
    i = line.find_first_not_of(" \t", i);
    i = line.find_first_of(" \t\r\n", i);
    if (i == std::string::npos) return "";
  }
  i = line.find_first_not_of(" \t", i);
  if (i == std::string::npos) return "";
  size_t j = line.find_last_not_of(" \t\r\n");
  return j < i ? "" : line.substr(i, j - i + 1);
}

bool SameWordIgnoringCase(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

int KeywordOf(const std::string& token) {
  for (int k = 0; k < kKeywordCount; ++k)
    if (SameWordIgnoringCase(token, kKeywords[k].keyword)) return k;
  return -1;
}

// One keyword line. A line for an element that the problem does not contain
// is ignored.
int ParseKeywordLine(int keyword, const std::string& line, const std::vector<std::string>& tokens,
                     const int* atomicNumbers, int count, ALTCSINFO* info) {
  const KEYWORDMESSAGES& messages = kKeywords[keyword];
  if (tokens.size() < 2) {
    std::printf("%s", messages.missingZ);
    return 1;
  }
  const int z = static_cast<int>(std::strtol(tokens[1].c_str(), nullptr, 10));
  if (z < 1 || z > kMaxZ) {
    std::printf(messages.illegalZ, z);
    return 1;
  }
  int element = -1;
  for (int i = 0; i < count && element < 0; ++i)
    if (atomicNumbers[i] == z) element = i;
  if (element < 0) return 0;
  ALTCSSETTINGS& settings = info->elements[element];
  const bool valueMissing = tokens.size() < 3;
  switch (keyword) {
    case kExcFn:
    case kIonFn: {
      const std::string name = RestOfLine(line, 2);
      if (name.empty()) break;
      (keyword == kExcFn ? settings.excFileName : settings.ionFileName) = name;
      (keyword == kExcFn ? settings.excFileGiven : settings.ionFileGiven) = true;
      return 0;
    }
    case kExcInterpEnd:
    case kIonInterpEnd:
      if (valueMissing) break;
      (keyword == kExcInterpEnd ? settings.excInterpEnd : settings.ionInterpEnd) =
          std::strtod(tokens[2].c_str(), nullptr);
      return 0;
    case kExcInterpRule:
    case kIonInterpRule:
      if (valueMissing) break;
      (keyword == kExcInterpRule ? settings.excInterpRule : settings.ionInterpRule) =
          static_cast<int>(std::strtol(tokens[2].c_str(), nullptr, 10));
      return 0;
    default: {  // coefficients
      const bool excitation = keyword == kExcInterpCoefs;
      double* coefs = excitation ? settings.excInterpCoefs : settings.ionInterpCoefs;
      for (size_t c = 0; c < 4 && 2 + c < tokens.size(); ++c) {
        if (!WholeNumber(tokens[2 + c].c_str(), &coefs[c])) {
          std::printf(kInvalidCoefficient[excitation ? 0 : 1], tokens[2 + c].c_str(),
                      elementSymbol[z], z);
          return 1;
        }
      }
      if (tokens.size() < 6) break;
      (excitation ? settings.excCoefsGiven : settings.ionCoefsGiven) = true;
      return 0;
    }
  }
  std::printf(messages.missingValue, elementSymbol[z], z);
  return 1;
}

int ParseAdditionalEnergy(const std::string& token, const std::string& altName, ALTCSINFO* info) {
  double value = 0.0;
  // A NUL byte inside the token would cut it short for the conversion.
  const bool plainText = token.find('\0') == std::string::npos;
  if (!plainText || !WholeNumber(token.c_str(), &value) || value < 0.0) {
    std::printf("Error in the alternative cross sections info file \"%s\": Invalid number \"%s\".\n",
                altName.c_str(), token.c_str());
    return 1;
  }
  if (static_cast<int>(info->additionalEnergies.size()) >= kMaxAdditionalEnergies) {
    std::printf("Error in the alternative cross sections info file \"%s\": Number of additional "
                "energy values exceeds %d.\n",
                altName.c_str(), kMaxAdditionalEnergies);
    return 1;
  }
  info->additionalEnergies.push_back(value);
  return 0;
}

int ReadAltLines(FILE* altFile, const std::string& altName, const int* atomicNumbers, int count,
                 FILE* outputFile, ALTCSINFO* info) {
  std::string line;
  bool hadLineEnd = false;
  while (ReadWholeLine(altFile, &line, &hadLineEnd)) {
    if (outputFile) std::fputs(line.c_str(), outputFile);
    if (outputFile && !hadLineEnd) std::fputc('\n', outputFile);
    const std::vector<std::string> tokens = SplitTokens(line);
    if (tokens.empty()) continue;
    const int keyword = KeywordOf(tokens[0]);
    const int code = keyword >= 0
                         ? ParseKeywordLine(keyword, line, tokens, atomicNumbers, count, info)
                         : ParseAdditionalEnergy(tokens[0], altName, info);
    if (code != 0) return code;
  }
  return 0;
}

}  // namespace

int AuxFileMissing(const std::string& name) {
  std::printf("File %s could not be opened for reading.\n", name.c_str());
  return 1;
}

int OpenAuxiliaryDataFiles(const ELEMENTLOADOPTIONS& options, AUXDATAFILES* files) {
  if (options.bremsAngularDistr != 0 && options.bremsBinaryData != 0 &&
      OpenBremsFile(options, files) != 0)
    return 1;
  if (options.ionDwba != 0 && OpenDwbaFile(options, files) != 0) return 1;
  if (options.elasticDpw != 0 && OpenDpwFiles(options, files) != 0) return 1;
  return 0;
}

void CloseAuxiliaryDataFiles(AUXDATAFILES* files) {
  for (FILE** file : {&files->brems, &files->dwba, &files->dpwTotal, &files->dpwAngular}) {
    if (*file) std::fclose(*file);
    *file = nullptr;
  }
}

int ReadAltCrossSectionsInfo(FILE* altFile, const std::string& altName, const int* atomicNumbers,
                             int count, FILE* outputFile, ALTCSINFO* info) {
  info->fileName = altFile ? altName : std::string();
  info->elements.assign(count, ALTCSSETTINGS());
  info->additionalEnergies.clear();
  if (!altFile) return 0;
  if (outputFile)
    std::fprintf(outputFile, "\nAlternative cross sections info file:\n%s\n",
                 std::string(88, '-').c_str());
  const int code = ReadAltLines(altFile, altName, atomicNumbers, count, outputFile, info);
  std::fclose(altFile);
  if (code != 0) return code;
  if (outputFile) std::fprintf(outputFile, "\n%s\n", std::string(89, '-').c_str());
  return 0;
}
