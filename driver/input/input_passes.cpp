#include "driver/input/input_passes.h"

#include <cstdio>
#include <cstring>

#include "core/text.h"
#include "driver/directives/directive_dispatch.h"
#include "driver/input/option_parsers.h"
#include "driver/input/options.h"
#include "driver/input/program_blocks.h"
#include "language/compiler.h"
#include "platform/paths.h"

int keywordUseCount[kKeywordIndexCount];
std::string filesFolder;

namespace {

constexpr int kDashLineLength = 89;
const char* const kCrossSectionFolder = "Cross sections/";

std::string JoinNameParts(const std::string& path, const char* prefix, const char* suffix) {
  std::string folder, name, extension;
  SplitPath(path, &folder, &name, &extension);
  return folder + prefix + name + suffix + extension;
}

void WriteDashLine(FILE* file) {
  fputs(std::string(kDashLineLength, '-').c_str(), file);
  fputc('\n', file);
}

bool AtEndOfInputFile() {
  int ch = fgetc(inputFile);
  if (ch == EOF) return true;
  ungetc(ch, inputFile);
  return false;
}

// The command line as the output file shows it: arguments separated by
// blanks, those holding a blank or a tab between double quotes.
void WriteCommandLine(int argc, const char* const* argv) {
  fputs("Command line:\n", outputFile);
  for (int i = 0; i < argc; ++i) {
    bool quoted = std::strpbrk(argv[i], " \t") != nullptr;
    fprintf(outputFile, quoted ? "%s\"%s\"" : "%s%s", i > 0 ? " " : "", argv[i]);
  }
  fputs("\n\nInput file:\n", outputFile);
  WriteDashLine(outputFile);
  fflush(outputFile);
}

// Names the output file and creates it; writes the head of the echo.
int OpenOutputFile(int argc, const char* const* argv) {
  if (outputFileName.empty()) outputFileName = DerivedOutputName(inputFileName);
  if (EqualNoCase(outputFileName, inputFileName)) {
    printf("Error: Output file name is the same as input file name (\"%s\").\n", inputFileName.c_str());
    return 1;
  }
  if (runOptions.writeLog && EqualNoCase(outputFileName, logFileName)) {
    printf("Error: Output file name is the same as log file name (\"%s\").\n", logFileName.c_str());
    return 1;
  }
  if (CheckWritableTarget(outputFileName, "Output") != kOk) return 1;
  outputFile = fopen(outputFileName.c_str(), "w");
  if (outputFile == nullptr) {
    printf("Output file \"%s\" could not be opened for writing.\n", outputFileName.c_str());
    return 1;
  }
  if (CheckOpenedTarget(&outputFile, outputFileName, "Output") != kOk) return 1;
  filesFolder = ResultFolderName(outputFileName);
  WriteCommandLine(argc, argv);
  return 0;
}

void PrintDuplicateKeyword() {
  std::string upper = keywordCopy;
  for (char& ch : upper) ch = ToUpper(ch);
  printf("Error: Keyword \"%s\" is used more than once in the input file.\n", upper.c_str());
}

enum LineStep { kNextLine, kEndPass, kEndRun };

// The pass ended at a fault of a line of the input file (not of a program
// block or of a line a program made, which the language locates itself).
bool faultInFileLine = false;

// Counts the keyword of the line just handled; a second use ends the first
// pass silently and the run in the second pass.
LineStep CountLastKeyword() {
  lineDone = false;
  if (lastKeyword >= 0 && lastKeyword < kKeywordIndexCount) {
    if (++keywordUseCount[lastKeyword] > 1) {
      if (inputPass == 0) return kEndPass;
      PrintDuplicateKeyword();
      return kEndRun;
    }
  }
  lastKeyword = -1;
  return kNextLine;
}

// A line whose first word is a program-block keyword and that comes from the
// input file.
LineStep HandleProgramBlock(const char* word, int* code) {
  if (inputPass == 0) {
    BLOCKRESULT result = ReadProgramBlockFirstPass(word);
    lineDone = true;
    if (result == kBlockFatal) {
      *code = 1;
      return kEndRun;
    }
    return result == kBlockEndPass ? kEndPass : kNextLine;
  }
  *code = ReadProgramBlockSecondPass(word);
  lineDone = *code == 0;
  return *code != 0 ? kEndRun : kNextLine;
}

bool FromInputFile() { return inputPass == 0 ? !ProgramOutputPending() : !ProgramCurrent(); }

// One pass over the input; returns 0 or the exit code.
int RunPass(int pass, int argc, const char* const* argv) {
  inputPass = pass;
  std::memset(keywordUseCount, 0, sizeof keywordUseCount);
  lastKeyword = -1;
  lineDone = true;
  ResetInputReader();
  if (pass == 1) {
    rewind(inputFile);
    if (int code = OpenOutputFile(argc, argv)) return code;
  } else {
    outputFile = nullptr;
  }
  ResetProgramState(pass);
  inputExitCode = 0;
  directiveCount = 0;
  faultInFileLine = false;

  for (;;) {
    // End of the pass, and the echo of a replayed program block.
    if (pass == 0) {
      if (!ProgramOutputPending() && AtEndOfInputFile()) break;
    } else if (ProgramCurrent()) {
      if (ProgramLinesConsumed() || !lineDone) {
        if (int code = EchoProgramBlock(!lineDone)) return code;
        lineDone = true;
        continue;
      }
    } else {
      faultInFileLine = true;
      if (!lineDone) return 1;
      if (AtEndOfInputFile()) break;
    }

    faultInFileLine = FromInputFile();
    LineStep step = CountLastKeyword();
    if (step == kEndPass) break;
    if (step == kEndRun) return 1;

    directiveLinePosition = ftell(inputFile);
    char* word = ReadInputLine(inputFile, outputFile, InputLineBuffer(), kWordSeparators);
    if (logFailed) return 1;
    if (inputExitCode != 0) return inputExitCode;  // a line the reader refused
    if (pass == 0 && compiler->severeDiagnostic.load()) break;
    if (word == nullptr || *word == '\0') {
      lineDone = true;
      continue;
    }
    if (IsProgramBlockKeyword(word) && FromInputFile()) {
      faultInFileLine = false;
      int code = 0;
      step = HandleProgramBlock(word, &code);
      if (step == kEndPass) break;
      if (step == kEndRun) return code;
      continue;
    }
    faultInFileLine = FromInputFile();
    DispatchDirective(word);
    if (inputExitCode != 0) return inputExitCode;  // a directive that ends the run at once
    if (pass == 0 && !lineDone) break;             // the second pass reports the error at this line
  }

  if (pass == 1 && runOptions.check != 0 && lastKeyword >= 0 && lastKeyword < kKeywordIndexCount &&
      keywordUseCount[lastKeyword] > 0) {
    PrintDuplicateKeyword();
    return 1;
  }
  return 0;
}

}  // namespace

void ReportInputErrorLocation() {
  const int line = InputFileLineNumber();
  if (line <= 0 || logFailed || !faultInFileLine) return;  // a log file that failed is no fault of a line
  // The line as far as it fits a message; bytes that do not print shown as '?'.
  constexpr size_t kShownLength = 120;
  const std::string& text = InputFileLineText();
  std::string shown;
  for (size_t i = 0; i < text.size() && i < kShownLength; ++i) {
    const unsigned char ch = static_cast<unsigned char>(text[i]);
    shown += ch == '\t' || (ch >= 0x20 && ch < 0x7f) ? static_cast<char>(ch) : '?';
  }
  if (text.size() > kShownLength) shown += "...";
  char head[64];
  snprintf(head, sizeof head, "Error in line %d of input file \"", line);
  const std::string message = head + inputFileName + "\": " + shown + "\n";
  fputs(message.c_str(), stdout);
  if (outputFile != nullptr) {
    fprintf(outputFile, "\n%s", message.c_str());
    fflush(outputFile);
  }
}

std::string DerivedOutputName(const std::string& inputName) { return JoinNameParts(inputName, "", "_out"); }

std::string DerivedLogName(const std::string& inputName) { return JoinNameParts(inputName, "", "_log"); }

std::string ResultFolderName(const std::string& outputName) { return JoinNameParts(outputName, "Files_", ""); }

Status RunInputPasses(int argc, const char* const* argv) {
  if (runOptions.output_cs) MakeFolder(kCrossSectionFolder);
  if (runOptions.writeLog && !commandLineGiven.log) logFileName = DerivedLogName(inputFileName);

  for (int pass = 0; pass < 2; ++pass) {
    int code = RunPass(pass, argc, argv);
    // A first pass that ended early may leave a user program running: it is
    // stopped before anything else happens.
    StopProgramRun();
    if (code != 0) {
      if (outputFile != nullptr) fflush(outputFile);
      return code;
    }
  }
  fputc('\n', outputFile);
  WriteDashLine(outputFile);
  fflush(outputFile);
  if (logFile != nullptr) fflush(logFile);
  return kOk;
}
