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

namespace input {
int keywordUseCount[kKeywordIndexCount];
std::string filesFolder;
}  // namespace input

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
  int ch = fgetc(input::inputFile);
  if (ch == EOF) return true;
  ungetc(ch, input::inputFile);
  return false;
}

// The command line as the output file shows it: arguments separated by
// blanks, those holding a blank or a tab between double quotes.
void WriteCommandLine(int argc, const char* const* argv) {
  fputs("Command line:\n", input::outputFile);
  for (int i = 0; i < argc; ++i) {
    bool quoted = std::strpbrk(argv[i], " \t") != nullptr;
    fprintf(input::outputFile, quoted ? "%s\"%s\"" : "%s%s", i > 0 ? " " : "", argv[i]);
  }
  fputs("\n\nInput file:\n", input::outputFile);
  WriteDashLine(input::outputFile);
  fflush(input::outputFile);
}

// Names the output file and creates it; writes the head of the echo.
int OpenOutputFile(int argc, const char* const* argv) {
  if (input::outputFileName.empty()) input::outputFileName = DerivedOutputName(input::inputFileName);
  if (EqualNoCase(input::outputFileName, input::inputFileName)) {
    printf("Error: Output file name is the same as input file name (\"%s\").\n", input::inputFileName.c_str());
    return 1;
  }
  if (input::runOptions.writeLog && EqualNoCase(input::outputFileName, input::logFileName)) {
    printf("Error: Output file name is the same as log file name (\"%s\").\n", input::logFileName.c_str());
    return 1;
  }
  if (CheckWritableTarget(input::outputFileName, "Output") != kOk) return 1;
  input::outputFile = fopen(input::outputFileName.c_str(), "w");
  if (input::outputFile == nullptr) {
    printf("Output file \"%s\" could not be opened for writing.\n", input::outputFileName.c_str());
    return 1;
  }
  if (CheckOpenedTarget(&input::outputFile, input::outputFileName, "Output") != kOk) return 1;
  input::filesFolder = ResultFolderName(input::outputFileName);
  WriteCommandLine(argc, argv);
  return 0;
}

void PrintDuplicateKeyword() {
  std::string upper = input::keywordCopy;
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
  input::lineDone = false;
  if (input::lastKeyword >= 0 && input::lastKeyword < kKeywordIndexCount) {
    if (++input::keywordUseCount[input::lastKeyword] > 1) {
      if (input::inputPass == 0) return kEndPass;
      PrintDuplicateKeyword();
      return kEndRun;
    }
  }
  input::lastKeyword = -1;
  return kNextLine;
}

// A line whose first word is a program-block keyword and that comes from the
// input file.
LineStep HandleProgramBlock(const char* word, int* code) {
  if (input::inputPass == 0) {
    BLOCKRESULT result = ReadProgramBlockFirstPass(word);
    input::lineDone = true;
    if (result == kBlockFatal) {
      *code = 1;
      return kEndRun;
    }
    return result == kBlockEndPass ? kEndPass : kNextLine;
  }
  *code = ReadProgramBlockSecondPass(word);
  input::lineDone = *code == 0;
  return *code != 0 ? kEndRun : kNextLine;
}

bool FromInputFile() { return input::inputPass == 0 ? !ProgramOutputPending() : !ProgramCurrent(); }

// One pass over the input; returns 0 or the exit code.
int RunPass(int pass, int argc, const char* const* argv) {
  input::inputPass = pass;
  std::memset(input::keywordUseCount, 0, sizeof input::keywordUseCount);
  input::lastKeyword = -1;
  input::lineDone = true;
  ResetInputReader();
  if (pass == 1) {
    rewind(input::inputFile);
    if (int code = OpenOutputFile(argc, argv)) return code;
  } else {
    input::outputFile = nullptr;
  }
  ResetProgramState(pass);
  input::inputExitCode = 0;
  input::directiveCount = 0;
  faultInFileLine = false;

  for (;;) {
    // End of the pass, and the echo of a replayed program block.
    if (pass == 0) {
      if (!ProgramOutputPending() && AtEndOfInputFile()) break;
    } else if (ProgramCurrent()) {
      if (ProgramLinesConsumed() || !input::lineDone) {
        if (int code = EchoProgramBlock(!input::lineDone)) return code;
        input::lineDone = true;
        continue;
      }
    } else {
      faultInFileLine = true;
      if (!input::lineDone) return 1;
      if (AtEndOfInputFile()) break;
    }

    faultInFileLine = FromInputFile();
    LineStep step = CountLastKeyword();
    if (step == kEndPass) break;
    if (step == kEndRun) return 1;

    input::directiveLinePosition = ftell(input::inputFile);
    char* word = ReadInputLine(input::inputFile, input::outputFile, InputLineBuffer(), kWordSeparators);
    if (input::logFailed) return 1;
    if (input::inputExitCode != 0) return input::inputExitCode;  // a line the reader refused
    if (pass == 0 && language::compiler->severeDiagnostic.load()) break;
    if (word == nullptr || *word == '\0') {
      input::lineDone = true;
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
    if (input::inputExitCode != 0) return input::inputExitCode;  // a directive that ends the run at once
    if (pass == 0 && !input::lineDone) break;                    // the second pass reports the error at this line
  }

  if (pass == 1 && input::runOptions.check != 0 && input::lastKeyword >= 0 && input::lastKeyword < kKeywordIndexCount &&
      input::keywordUseCount[input::lastKeyword] > 0) {
    PrintDuplicateKeyword();
    return 1;
  }
  return 0;
}

}  // namespace

void ReportInputErrorLocation() {
  const int line = InputFileLineNumber();
  if (line <= 0 || input::logFailed || !faultInFileLine) return;  // a log file that failed is no fault of a line
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
  const std::string message = head + input::inputFileName + "\": " + shown + "\n";
  fputs(message.c_str(), stdout);
  if (input::outputFile != nullptr) {
    fprintf(input::outputFile, "\n%s", message.c_str());
    fflush(input::outputFile);
  }
}

std::string DerivedOutputName(const std::string& inputName) { return JoinNameParts(inputName, "", "_out"); }

std::string DerivedLogName(const std::string& inputName) { return JoinNameParts(inputName, "", "_log"); }

std::string ResultFolderName(const std::string& outputName) { return JoinNameParts(outputName, "Files_", ""); }

Status RunInputPasses(int argc, const char* const* argv) {
  if (input::runOptions.output_cs) MakeFolder(kCrossSectionFolder);
  if (input::runOptions.writeLog && !input::commandLineGiven.log)
    input::logFileName = DerivedLogName(input::inputFileName);

  for (int pass = 0; pass < 2; ++pass) {
    int code = RunPass(pass, argc, argv);
    // A first pass that ended early may leave a user program running: it is
    // stopped before anything else happens.
    StopProgramRun();
    if (code != 0) {
      if (input::outputFile != nullptr) fflush(input::outputFile);
      return code;
    }
  }
  fputc('\n', input::outputFile);
  WriteDashLine(input::outputFile);
  fflush(input::outputFile);
  if (input::logFile != nullptr) fflush(input::logFile);
  return kOk;
}
