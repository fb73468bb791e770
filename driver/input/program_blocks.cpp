#include "driver/input/program_blocks.h"

#include <cstring>
#include <string>

#include "core/text.h"
#include "driver/input/input_reader.h"
#include "driver/input/options.h"
#include "language/compiler.h"
#include "language/program_services.h"
#include "platform/clock.h"
#include "platform/keys.h"

LANGUAGESERVICES DefaultLanguageServices() {
  return {ParseArraysBlock, ParseProgramHeader, CompileProgramBlock, ProgramThread, kProgramThreadStackBytes};
}

namespace input {
LANGUAGESERVICES languageServices = DefaultLanguageServices();
}  // namespace input

namespace {

// State of the program blocks across the passes.
struct BLOCKSTATE {
  bool arraysSeen = false;         // an ARRAYS block was read (first pass)
  int arraysFaultyLine = -1;       // faulty line of the ARRAYS block, -1 none
  std::string arraysError;         // the message of the faulty ARRAYS line
  bool arraysEchoed = false;       // second pass: the ARRAYS block was echoed
  int nextBlock = 0;               // second pass: record index of the next PROGRAM/SUBROUTINE/PARAMETERS
  int lastBlockKind = kNotABlock;  // second pass: kind of the latest PROGRAM/SUBROUTINE/PARAMETERS block
  bool anyBlockBefore = false;     // second pass: a program block came before
};
BLOCKSTATE blocks;

Compiler& Language() { return *language::compiler; }

PROGRAMRECORD& Record(int program) { return *Language().programs[program]; }

}  // namespace

void StopProgramRun() {
  if (language::compiler == nullptr || language::compiler->runControl == nullptr) return;
  RUNCONTROL& run = *language::compiler->runControl;
  if (!run.running.load(std::memory_order_acquire)) return;
  run.interruptRequest.store(1, std::memory_order_release);
  while (run.running.load(std::memory_order_acquire)) YieldThread();
}

void ResetProgramState(int pass) {
  Compiler& language = Language();
  StopProgramRun();
  language.programInProgress.store(-1);
  language.outputPending.store(0);
  if (pass == 1) {
    blocks.nextBlock = 0;
    blocks.lastBlockKind = kNotABlock;
    blocks.anyBlockBefore = false;
    blocks.arraysEchoed = false;
  } else {
    blocks = BLOCKSTATE{};
  }
}

// ---------------------------------------------------------------- block text

namespace {

struct BLOCKTEXT {
  std::string text;                    // lines joined with "\r\n"
  std::vector<int64_t> linePositions;  // input position of each line (0: the header line)
  int64_t startPosition = 0;
  int64_t endPosition = 0;
  bool parameterList = false;  // a SUBROUTINE whose name is followed by '('
};

std::string FirstWordOf(const std::string& line, size_t* end = nullptr) {
  const char* start = SkipBlanks(line.c_str());
  size_t length = std::strcspn(start, " \t");
  if (end) *end = static_cast<size_t>(start - line.c_str()) + length;
  return std::string(start, length);
}

bool ReadRawLine(std::string* line) { return ReadWholeLine(input::inputFile, line); }

// "END <keyword>" (any case) closes a block.
bool IsEndLine(const std::string& line, BlockKind kind) {
  size_t afterEnd = 0;
  if (!EqualNoCase(FirstWordOf(line, &afterEnd), "END")) return false;
  if (afterEnd >= line.size() || !IsBlank(line[afterEnd])) return false;
  const char* rest = SkipBlanks(line.c_str() + afterEnd);
  size_t length = std::strlen(input::kBlockKeywords[kind]);
  return EqualNoCaseN(rest, input::kBlockKeywords[kind], length) && (rest[length] == '\0' || IsBlank(rest[length]));
}

// The text of the header line after the keyword (and after the name and the
// blanks behind it, and for a SUBROUTINE after the '(' of its parameter list).
std::string HeaderRest(const std::string& header, BlockKind kind, bool* parameterList) {
  size_t position = 0;
  FirstWordOf(header, &position);
  if (kind == kProgramBlock || kind == kSubroutineBlock) {
    position = static_cast<size_t>(SkipBlanks(header.c_str() + position) - header.c_str());
    while (position < header.size() && !IsBlank(header[position]) && header[position] != '(') ++position;
    while (position < header.size() && IsBlank(header[position])) ++position;
    *parameterList = kind == kSubroutineBlock && position < header.size() && header[position] == '(';
    if (*parameterList) ++position;
  }
  return header.substr(position);
}

// Reads a block from its header line (found again from the position of the
// directive line) to its END line, recording the position of every line.
bool GatherBlock(BlockKind kind, BLOCKTEXT* block) {
  fseek(input::inputFile, static_cast<long>(input::directiveLinePosition), SEEK_SET);
  std::string line;
  for (;;) {
    int64_t position = ftell(input::inputFile);
    if (!ReadRawLine(&line)) return false;
    if (EqualNoCase(FirstWordOf(line), input::kBlockKeywords[kind])) {
      block->startPosition = position;
      block->linePositions.push_back(position);
      block->text = HeaderRest(line, kind, &block->parameterList) + "\r\n";
      break;
    }
  }
  for (;;) {
    int64_t position = ftell(input::inputFile);
    block->endPosition = position;
    if (!ReadRawLine(&line)) break;
    ++input::physicalLineCount;
    if (IsEndLine(line, kind)) break;
    block->text += line + "\r\n";
    block->linePositions.push_back(position);
  }
  return true;
}

// The name after PROGRAM or SUBROUTINE, cut at a '('.
std::string ProgramNameFrom(char* word) {
  if (word == nullptr) return "";
  std::string name = word;
  size_t parenthesis = name.find('(');
  if (parenthesis != std::string::npos) name.erase(parenthesis);
  return name;
}

// Merges the names that a PARAMETERS compile declared into the global table.
void MergeNewGlobalParameters() {
  Compiler& language = Language();
  for (int i = 0; i < language.nNewGlobalParameters && language.nGlobalParameters < kMaxGlobalParameters; ++i) {
    language.globalParameterNames[language.nGlobalParameters] = language.newGlobalParameters[i];
    language.globalValues[language.nGlobalParameters] = 0.0;
    ++language.nGlobalParameters;
  }
}

void CompileBlock(BlockKind kind, int k, const std::string& blockText, bool hasParameterList) {
  PROGRAMRECORD& record = Record(k);
  int headerLines = 0;
  std::string text = blockText;
  if (hasParameterList) {
    headerLines = input::languageServices.parseProgram(k);
    if (record.info.diagnosticKind < kDiagnosticSyntaxError) text = Language().programTexts.GetAt(k);
  }
  if (record.info.diagnosticKind >= kDiagnosticSyntaxError) return;
  input::languageServices.compileProgram(text.c_str(), headerLines, &record.info, &record.code, k);
  // A warning does not keep the PARAMETERS code from declaring its globals.
  if (kind != kParametersBlock || record.info.diagnosticKind >= kDiagnosticSyntaxError) return;
  Compiler& language = Language();
  if (language.nNewGlobalParameters > 0) {
    MergeNewGlobalParameters();
    input::languageServices.compileProgram(text.c_str(), 0, &record.info, &record.code, k);
  } else if (record.info.diagnosticLine < 0) {
    std::snprintf(record.info.diagnostic, sizeof record.info.diagnostic, "%s",
                  "Warning: the \"PARAMETERS\" code does not define any global parameters.");
    record.code.warningLine = static_cast<int32_t>(record.linePositions.size()) - 1;
  }
  delete[] language.newGlobalParameters;
  language.newGlobalParameters = nullptr;
  language.nNewGlobalParameters = 0;
}

// Starts PROGRAM or PARAMETERS code on a thread of its own.
BLOCKRESULT StartProgramRun(int k) {
  Compiler& language = Language();
  PROGRAMRECORD& record = Record(k);
  RUNCONTROL& run = *language.runControl;
  if (record.code.values != nullptr && record.code.valueCapacity >= 2) {
    record.code.values[0] = record.code.values[1] = language.undefined;
  }
  run.lastResult = 0.0;
  run.program = -1;
  run.startSeconds = SecondsSinceStart();
  run.interruptRequest.store(0);
  run.running.store(1, std::memory_order_release);
  language.callDepth = 0;
  language.outputPending.store(1, std::memory_order_release);
  language.timeWarningPrinted.store(0);
  language.escPressed.store(0);
  language.acknowledged.store(0);
  language.keyboardPollingAllowed.store(1);
  language.writeFlushRequested.store(0);
  BeginKeyMode();
  // The thread's start is not waited for: its end shows in the running flag.
  if (!StartThread(input::languageServices.programThread, nullptr, k, input::languageServices.programStackBytes)) {
    run.running.store(0);
    language.outputPending.store(0);
    return kBlockFatal;
  }
  return kBlockContinue;
}

// A PROGRAM or SUBROUTINE name: valid, and not the name of an earlier
// program, array or parameter.
BLOCKRESULT CheckProgramName(std::string* name, int ownIndex, PROGRAMINFO* info) {
  Compiler& language = Language();
  std::vector<char> buffer(name->begin(), name->end());
  buffer.push_back('\0');
  int index = ownIndex;
  IDENTIFIERCLASHES clashes;
  if (!language.CheckIdentifier(buffer.data(), 3, &index, "Program name", language.message, &clashes)) {
    return kBlockEndPass;
  }
  *name = buffer.data();
  if (!clashes.empty() && info != nullptr) {
    std::snprintf(info->diagnostic, sizeof info->diagnostic,
                  "Error: the program name \"%s\" coincides with the name of a previously-defined %s.", name->c_str(),
                  language.kindNames[clashes.front().kind - 1]);
  }
  return kBlockContinue;
}

}  // namespace

BLOCKRESULT ReadProgramBlockFirstPass(const char* word) {
  Compiler& language = Language();
  BlockKind kind = BlockKindOf(word);
  if (kind == kArraysBlock) {
    if (language.ProgramCount() > 0) return kBlockEndPass;
    if (blocks.arraysSeen) return kBlockEndPass;
    blocks.arraysSeen = true;
    BLOCKTEXT block;
    if (!GatherBlock(kind, &block)) return kBlockEndPass;
    char message[kDiagnosticLength + 1] = "";
    blocks.arraysFaultyLine = input::languageServices.parseArrays(block.text.c_str(), message);
    blocks.arraysError = message;
    return blocks.arraysFaultyLine >= 0 ? kBlockEndPass : kBlockContinue;
  }
  if (kind == kParametersBlock && language.ProgramCount() > 0) return kBlockEndPass;

  std::string name;
  PROGRAMINFO clash{};
  if (kind != kParametersBlock) {
    name = ProgramNameFrom(NextWord());
    if (name.empty()) return kBlockEndPass;
    if (CheckProgramName(&name, -1, &clash) != kBlockContinue) return kBlockEndPass;
  }

  // A new program record k.
  int k = language.ProgramCount();
  language.programs.push_back(std::make_unique<PROGRAMRECORD>());
  PROGRAMRECORD& record = Record(k);
  record.info.isParameters = kind == kParametersBlock;
  std::snprintf(record.info.name, sizeof record.info.name, "%s", name.c_str());
  BLOCKTEXT block;
  GatherBlock(kind, &block);
  record.linePositions = block.linePositions;
  record.startPosition = block.startPosition;
  record.endPosition = block.endPosition;
  language.programTexts.Add(block.text.c_str());
  record.code.ClearErrorState();
  record.info.diagnosticKind = kDiagnosticPlain;
  record.info.diagnosticLine = -1;
  std::memcpy(record.info.diagnostic, clash.diagnostic, sizeof clash.diagnostic);
  language.nNewGlobalParameters = 0;

  CompileBlock(kind, k, block.text, block.parameterList);

  language.runControl->info = &record.info;
  language.runControl->code = &record.code;
  language.programInProgress.store(k, std::memory_order_release);
  if (record.info.diagnosticKind != kDiagnosticPlain || record.code.warningLine >= 0) {
    language.PrintProgramDiagnostic(input::inputFile, -1);
    if (record.info.diagnosticKind > kDiagnosticSyntaxWarning) return kBlockEndPass;
  }
  if (kind == kSubroutineBlock) {
    language.programInProgress.store(-1, std::memory_order_release);
    return kBlockContinue;
  }
  return StartProgramRun(k);
}

// ---------------------------------------------------------------- second pass

namespace {

void PrintBlockError(const std::string& text) {
  printf("\n%s\n", text.c_str());
  if (input::outputFile != nullptr) fprintf(input::outputFile, "%s\n", text.c_str());
}

// ARRAYS in the second pass: its lines after the header are echoed; the
// faulty line found in the first pass ends the run with its message.
int EchoArraysBlock() {
  if (blocks.anyBlockBefore) {
    PrintBlockError(
        "******** Error: the \"ARRAYS\" directive must precede the definitions of global parameters, programs and "
        "subroutines. ********");
    return 1;
  }
  if (blocks.arraysEchoed) {
    PrintBlockError("******** Error: only one \"ARRAYS\" directive is allowed. ********");
    return 1;
  }
  blocks.arraysEchoed = true;
  BLOCKTEXT block;
  if (!GatherBlock(kArraysBlock, &block)) return 0;
  fseek(input::inputFile, static_cast<long>(block.startPosition), SEEK_SET);
  std::string line;
  ReadRawLine(&line);  // the header, echoed by the reader
  for (size_t i = 1; i < block.linePositions.size(); ++i) {
    ReadRawLine(&line);
    fprintf(input::outputFile, "%s\n", line.c_str());
    if (static_cast<int>(i) == blocks.arraysFaultyLine) {
      PrintBlockError(blocks.arraysError);
      return 1;
    }
  }
  if (ReadRawLine(&line)) fprintf(input::outputFile, "%s\n", line.c_str());
  if (blocks.arraysFaultyLine >= 0) {
    PrintBlockError(blocks.arraysError);
    return 1;
  }
  return 0;
}

}  // namespace

Status ReadProgramBlockSecondPass(const char* word) {
  Compiler& language = Language();
  BlockKind kind = BlockKindOf(word);
  if (kind == kArraysBlock) return EchoArraysBlock();
  if (kind == kParametersBlock && blocks.anyBlockBefore) {
    if (blocks.lastBlockKind == kParametersBlock) {
      printf("Error: only one \"PARAMETERS\" directive is allowed.\n");
    } else {
      printf(
          "Error: the \"PARAMETERS\" directive must precede the definitions of all other programs and subroutines.\n");
    }
    return kInputError;
  }
  int k = blocks.nextBlock;
  if (kind != kParametersBlock) {
    std::string name = ProgramNameFrom(NextWord());
    if (name.empty()) {
      printf("Error: User program name has not been specified.\n");
      return kInputError;
    }
    if (CheckProgramName(&name, k, nullptr) != kBlockContinue) {
      printf("******** %s ********\n", language.message);
      fprintf(input::outputFile, "******** %s ********\n", language.message);
      return kInputError;
    }
  }
  if (k >= language.ProgramCount()) return kInputError;  // the first pass ended before this block
  blocks.nextBlock = k + 1;
  blocks.anyBlockBefore = true;
  blocks.lastBlockKind = kind;
  language.outputLinesConsumed.store(-1);
  language.programInProgress.store(k, std::memory_order_release);
  return kOk;
}

namespace {

// The directives that a program wrote, behind its block, so that the echo
// shows the input as the run took it.
void EchoGeneratedDirectives(const PROGRAMRECORD& record) {
  int count = record.outputLines.GetCount();
  if (count == 0) return;
  bool named = record.info.name[0] != '\0';
  const char* kind = named ? "user program" : "user code block";
  const char* name = named ? record.info.name : "PARAMETERS";
  fprintf(input::outputFile, "******** Directives written by %s \"%s\": ********\n", kind, name);
  for (int i = 0; i < count; ++i)
    fprintf(input::outputFile, "%s\n", WithoutLineEnd(record.outputLines.GetAt(i)).c_str());
  fprintf(input::outputFile, "******** End of the directives written by %s \"%s\". ********\n", kind, name);
}

}  // namespace

Status EchoProgramBlock(bool directiveFailed) {
  Compiler& language = Language();
  int k = language.programInProgress.load();
  PROGRAMRECORD& record = Record(k);
  // A SUBROUTINE never ran: its compile diagnostic is reported here.
  if (blocks.lastBlockKind == kSubroutineBlock) language.PrintProgramDiagnostic(input::inputFile, k);

  const char* kIllegalAccess =
      "\n******** An illegal memory access has been detected (such errors can be caused, for example, by incorrect "
      "usage of the built-in function MEMCPY). ********\n";
  int failedLine = -1;
  std::string failedDirective;
  int consumed = language.outputLinesConsumed.load();
  if (directiveFailed && consumed >= 0 && consumed < record.outputLines.GetCount()) {
    failedLine = record.outputLineSources.Items<int32_t>()[consumed];
    failedDirective = WithoutLineEnd(record.outputLines.GetAt(consumed));
  }

  fseek(input::inputFile, static_cast<long>(record.startPosition), SEEK_SET);
  std::string line;
  bool stopped = false;
  for (size_t i = 0; ftell(input::inputFile) < record.endPosition; ++i) {
    if (i >= record.linePositions.size() || ftell(input::inputFile) != record.linePositions[i]) {
      printf("%s", kIllegalAccess);
      return kInputError;
    }
    ReadRawLine(&line);
    if (i > 0) fprintf(input::outputFile, "%s\n", line.c_str());
    if (static_cast<int>(i) == record.info.diagnosticLine) {
      fprintf(input::outputFile, "******** %s ********\n", record.info.diagnostic);
      if (record.info.diagnosticKind == kDiagnosticSyntaxError) {
        stopped = true;
        break;
      }
    }
    if (static_cast<int>(i) == failedLine) {
      fprintf(input::outputFile, "******** Invalid Trenqual input directive:\n******** %s\n", failedDirective.c_str());
    }
  }
  if (!stopped) {
    if (ftell(input::inputFile) != record.endPosition) {
      printf("%s", kIllegalAccess);
      return kInputError;
    }
    if (ReadRawLine(&line)) fprintf(input::outputFile, "%s\n", line.c_str());
  }
  if (directiveFailed || record.info.diagnosticKind > kDiagnosticSyntaxWarning) return kInputError;
  EchoGeneratedDirectives(record);
  language.programInProgress.store(-(k + 2), std::memory_order_release);
  return kOk;
}
