// Fuzz target of the auxiliary data files: the element is loaded with every
// auxiliary source as a run loads it (offset tables, information file,
// per-element records), one file replaced by the input. The first byte of the
// input chooses the file (modulo the count of kAuxFiles); the rest is the file.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/data/aux_electron_data.h"
#include "driver/data/aux_files.h"
#include "driver/data/element_loader.h"
#include "tests/fuzz/element_files.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// The run's options for the chosen file: every auxiliary source that reads it.
ELEMENTLOADOPTIONS OptionsFor(size_t chosen) {
  ELEMENTLOADOPTIONS options = PlainLoadOptions();
  options.bremsAngularDistr = 1;
  options.bremsBinaryData = chosen == kBremsTextTable ? 0 : 1;
  options.ionDwba = 1;
  options.elasticDpw = chosen == kEedlElastic ? 0 : 1;
  options.elasticSmallAngle = chosen == kEedlElastic ? 3 : 0;
  options.incohDoppler = chosen == kComptonProfiles ? 1 : 0;
  return options;
}

bool UsesAltInfo(size_t chosen) { return chosen >= kAltInfo; }

void LoadWithAuxiliaryData(size_t chosen) {
  const ELEMENTLOADOPTIONS options = OptionsFor(chosen);
  AUXELECTRONDATA aux;
  const int z = kFuzzElementZ;
  int code = OpenAuxiliaryDataFiles(options, &aux.files);
  if (code == 0) {
    FILE* altFile = UsesAltInfo(chosen) ? std::fopen(kAltInfoName, "r") : nullptr;
    code = ReadAltCrossSectionsInfo(altFile, UsesAltInfo(chosen) ? kAltInfoName : "", &z, 1, nullptr, &aux.alt);
  }
  if (code == 0) LoadElement(z, options, &aux, 0, ClearedStaging());
  ReleaseStagingTables();
  CloseAuxiliaryDataFiles(&aux.files);
  std::fflush(stdout);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  QuietFuzzConsole();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<FUZZDATAFILE> files = [] {
    EnterFuzzScratchFolder();
    std::vector<FUZZDATAFILE> endf = EndfDataFiles();
    WriteValidFiles(endf);
    std::vector<FUZZDATAFILE> aux = AuxDataFiles();
    WriteValidFiles(aux);
    return aux;
  }();
  if (size == 0) return 0;
  const size_t chosen = data[0] % files.size();
  // The information file names the files it reads: only names in the folder.
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (chosen == kAltInfo && bytes.find('/') != std::string::npos) return -1;
  WithReplacedFile(files, chosen, bytes, [chosen] { LoadWithAuxiliaryData(chosen); });
  return 0;
}
