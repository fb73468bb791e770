// Sarvetto: converts the binary bremsstrahlung angular-distribution file into
// one text table per element. Command-line arguments are ignored.
#include "tools/splitter/table_splitter.h"

int main() {
  SPLITRESULT result = SplitBremsAngularFile();
  PrintSplitMessage(result);
  return SplitExitCode(result.status);
}
