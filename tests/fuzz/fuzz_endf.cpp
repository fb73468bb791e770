// Fuzz target of the ENDF-6 reader: the three files of an element
// (electro-atomic, photo-atomic, atomic relaxation) are loaded as the program
// loads them, one of them replaced by the input. The first byte of the input
// chooses the file (modulo 3: electrons, photoat, atomic_relax); the rest is
// the file. Seeds: the synthetic lithium files and small real sections.
#include <cstdio>
#include <string>
#include <vector>

#include "driver/data/element_loader.h"
#include "tests/fuzz/element_files.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  QuietFuzzConsole();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<FUZZDATAFILE> files = [] {
    std::vector<FUZZDATAFILE> endf = EndfDataFiles();
    WriteValidFiles(endf);
    return endf;
  }();
  if (size == 0) return 0;
  const size_t chosen = data[0] % files.size();
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  WithReplacedFile(files, chosen, bytes, [] {
    LoadElement(kFuzzElementZ, PlainLoadOptions(), ClearedStaging());
    ReleaseStagingTables();
    std::fflush(stdout);
  });
  return 0;
}
