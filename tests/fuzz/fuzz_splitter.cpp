// Fuzz target of Sarvetto's binary reader: the input is the binary
// bremsstrahlung angular-distribution file, split in the scratch folder as
// Sarvetto splits it in its current folder (checks of every value, one text
// table per element written and renamed when complete).
#include <cstdlib>
#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "tools/splitter/table_splitter.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  QuietFuzzConsole();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  EnterFuzzScratchFolder();
  if (!WriteFuzzFile(FuzzScratchFolder() + kBremsBinaryFileName, data, size)) std::abort();
  const SPLITRESULT result = SplitBremsAngularFile();
  PrintSplitMessage(result);
  // A file that passed must leave all 100 tables; one that failed no partial
  // table under a final name (checked by the splitter's own tests).
  if (result.status == SplitStatus::kInputNotOpened) std::abort();
  ClearFuzzScratchFolder(kBremsBinaryFileName);
  return 0;
}
