// Splits the binary bremsstrahlung angular-distribution file
// "Brems_angular_prob_dens.dat" of the current folder into one text table per
// element in the folder "Brems_angular_prob_dens/", checking every value.
#pragma once

#include <string>

// Input file and output folder, both relative to the current folder.
extern const char kBremsBinaryFileName[];
extern const char kBremsTableFolder[];

// How a run of the splitter ended.
enum class SplitStatus {
  kDone,            // all 100 tables written
  kInputNotOpened,  // the binary file could not be opened
  kInputInvalid,    // a value breaks a validity rule or is cut short by the end of the file
  kTableNotOpened,  // an element's table could not be opened for writing
  kTableNotWritten  // writing, closing or renaming an element's table failed
};

// The outcome of a run; tablePath names the table at fault for the table errors.
struct SPLITRESULT {
  SplitStatus status = SplitStatus::kDone;
  std::string tablePath;
};

// The path of the text table of element z (1 to 100) in kBremsTableFolder.
std::string BremsTablePath(int z);

// Checks the binary file and writes the 100 tables. Each table is written under
// a temporary name and renamed when complete, so a failure leaves no partial
// table under a final name; the tables of the elements before stay complete.
SPLITRESULT SplitBremsAngularFile();

// Prints the message of a failed run on standard output (nothing on success).
void PrintSplitMessage(const SPLITRESULT& result);

// 0 after success, 1 after any failure.
int SplitExitCode(SplitStatus status);
