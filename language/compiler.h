// The one object of the embedded program language. It holds the language's
// name tables, the global parameters and system variables, the per-program
// records, and the flags of the hand-shake between the user-program thread and
// the input reader. main creates it once at start-up and keeps it in
// `compiler`; `activeCompiler` is the pointer through which the interpreter and
// the built-ins reach it.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/containers.h"
#include "core/randgen.h"
#include "language/arrays.h"
#include "language/builtin_table.h"
#include "language/math_builtins.h"
#include "language/program_code.h"
#include "language/root_finder.h"

constexpr int kSystemVariableCount = 13;   // "@0".."@9", "IER", "AbsErr", "nEval"
constexpr int kCommandLineVariables = 10;  // "@0".."@9"
constexpr int kMaxGlobalParameters = 10000;
constexpr int kElementTypeCodes = 200;
constexpr int kKindNameCount = 5;
constexpr int kNameLength = 200;

struct CALLFRAME;
struct CALLSTATE;

struct ARGDESC {
  int32_t count;                        // number of arguments
  uint8_t kind[kMaxBuiltinArguments];   // ArgumentKind of each argument
};

struct GLOBALPARAM {
  char name[64];
};

// Kinds of named objects, the codes of identifier clashes and of their names.
enum NamedObjectKind : int32_t {
  kGlobalParameterObject = 1,
  kLocalParameterObject = 2,
  kProgramObject = 3,
  kExternalFunctionObject = 4,  // no object ever has this kind
  kArrayObject = 5,
};

// A named object that already bears a name being checked.
struct IDENTIFIERCLASH {
  int32_t kind;      // NamedObjectKind
  int32_t index;     // the object's index in its table
  std::string name;  // the object's name as it was declared
};
using IDENTIFIERCLASHES = std::vector<IDENTIFIERCLASH>;

// The values of an activation that a nested activation of the same program
// has suspended (interpreter.h), kept aside until it goes on.
struct SUSPENDEDSLOTS {
  double* values;     // the program's values, then its descriptors
  int32_t slotCount;  // value slots among them
};

// Control record of the running user program, set up by main before a run.
struct RUNCONTROL {
  double lastResult;           // value of the latest finished activation or range; undefined after an error
  int32_t errorState;          // -1 before a run
  double errorValue;           // 0 before a run
  int32_t errorInstruction;    // -1 before a run
  int32_t program;             // -1: the program whose records are named here
  PROGRAMINFO* info;
  CProgramCode* code;
  double startSeconds;         // start time of the run
  std::atomic<uint8_t> running;           // cleared by the program thread
  std::atomic<uint8_t> interruptRequest;  // set by the reader on Esc then Q
  // Step budget: with stepBudget > 0 a run interrupts itself, as after Esc
  // then Q, once it has made that many interrupt checks (one before every
  // instruction). The fuzz targets bound runaway programs with it; 0, the
  // program's own setting, means no budget. Read and counted by the program
  // thread only; set before the run starts.
  int64_t stepBudget;
  int64_t stepsLeft;  // of the budget, in the current run
};

class Compiler {
 public:
  Compiler();
  Compiler(const Compiler&) = delete;
  Compiler& operator=(const Compiler&) = delete;
  virtual ~Compiler();

  // Checks a new name and trims it in place. Returns 1 when it may be used,
  // after appending the global parameter, program and array that already
  // bear it (at most one of each, in that order) to `clashes` (may be null);
  // else 0 with the reason in messageOut (2000 characters) and, for a system
  // variable, a built-in, a program (mode 3) or an array (mode 5), -1, -3 or
  // the clashing index in *index. Modes (their absolute value counts): 1
  // leaves global parameters out; 3 is a program's name, leaving program
  // *index out; 5 an array's name, leaving array *index out (6 leaves it out
  // too but takes an array of the name as a clash). A label ("Program name")
  // names the thing in the messages about the spelling.
  int CheckIdentifier(char* name, int mode, int* index, const char* label, char* messageOut,
                      IDENTIFIERCLASHES* clashes);
  // Prints the diagnostic of a program (negative: the running program named
  // by runControl) to standard output with its source line re-read from the
  // input file; sets severeDiagnostic.
  void PrintProgramDiagnostic(FILE* input, int program);
  // Sets the diagnostic kind, line and text of a program from its error record.
  void ComposeRuntimeError(PROGRAMINFO* info, CProgramCode* code, int runningProgram);
  // The runtime-error text of a failed array reference: the header naming
  // the array (and the program when the error happened in another one than
  // the running program), one blank, and the detail of the sub-code.
  void ArrayErrorText(int errorProgram, int runningProgram, int arrayNumber, int subCode, char* destination);
  // The same for a failed built-in; builtinNumber is the built-in's code + 1.
  void BuiltinErrorText(int builtinNumber, char* destination, int errorProgram, int runningProgram, int subCode);
  // The source line that a diagnostic concerns, re-read from the input file
  // through its recorded position (the input position is restored).
  std::string SourceLineText(FILE* input, const PROGRAMINFO* info, int program);

  // The ARRAYS block (lines ended by a carriage return and a line feed):
  // defines the user arrays and the index base. Returns -1 when the block was
  // accepted, else the index of the faulty line (counted from 0) with its
  // message in messageOut (2001 characters). Arrays declared before the
  // fault stay declared.
  int ParseArrays(const char* text, char* messageOut);
  // The formal-parameter list at the start of program `program`'s text (the
  // text behind "SUBROUTINE name("). On success fills the program's
  // PARAMLIST and signature byte, cuts the list off its text and returns the
  // index of the line that closes the list; on a fault sets the program's
  // diagnostic (kind 2) and returns the line where it was found.
  int ParseProgram(int program);
  // Compiles a block's text into `code`: headerLines is the source line of
  // the text's first line; `last` 0 reports a call of a program that failed
  // to compile. Fills the diagnostic of `info` (kind 2 syntax error with the
  // first fault, or kind 1 with the block's first warning). For the
  // PARAMETERS block the names of its new global parameters are gathered in
  // newGlobalParameters.
  void CompileProgram(const char* text, int headerLines, PROGRAMINFO* info, CProgramCode* code, int program, int last);
  // Stores the signature byte of program `program` (code 94 + program) from
  // its formal-parameter list.
  void StoreProgramSignature(int program);
  // The new global parameters that a compilation of the PARAMETERS block
  // declares, before the run driver merges them into the table.
  void AddNewGlobalParameter(const char* name);
  void ClearNewGlobalParameters();

  // Runs a program (interpreter.h). With first = -1 one whole activation of
  // frame's program (a null frame: the program named by runControl; a null
  // state: a fresh state with the frame's arguments bound); with first >= 0
  // the instructions first..last of frame's activation in range mode, the
  // inline expression of a repeated evaluation. The value is left in
  // runControl->lastResult; returns a RunStatus.
  int Run(CALLFRAME* frame, CALLSTATE* state, int first, int last);

  // Output of the running program in directive mode: appends text to the
  // program's last output line (a new line when the last one is complete,
  // recording sourceLine); each newline completes the line, hands it to the
  // input reader and waits for its acknowledgement.
  void WriteDirectiveOutput(const char* text, int sourceLine);

  // Fills the special built-in table (codes 70..93; Return has no routine).
  void InstallSpecialBuiltins();

  // Appends a zero-filled array of the given element type and dimensions to
  // the array table, counting it as declared.
  ArrayAddResult AddArray(const char* name, int elementType, int dimensionCount, const int32_t* dimensions);
  int32_t ArrayCount() const { return static_cast<int32_t>(arrays.size()); }

  // Value of system variable "@d" (d = 0..9) or of "IER", "AbsErr", "nEval" (10..12).
  double& SystemVariable(int index) { return systemValues[index]; }
  // The signature byte of built-in code (or of user program code - 94).
  uint8_t SignatureByte(int code) const { return signatureBytes.Items<uint8_t>()[code]; }

  char message[2000];                                   // numbered-message work buffer
  char composition[4000];                               // run-time error composition buffer
  char systemVariableNames[kSystemVariableCount][kNameLength];
  char builtinNames[kBuiltinCount][kNameLength];
  OrdinaryBuiltin ordinaryBuiltins[kOrdinaryBuiltinCount];  // the routine of built-ins 0..69
  SpecialBuiltin specialBuiltins[kBuiltinCount];        // entries 70..93 only
  ARGDESC argumentDescriptors[kBuiltinCount];           // codes 70..93 only
  int32_t repeatedEvaluation[kBuiltinCount];            // 1 for codes 74..84
  char defaultNumberFormat[100];
  char numberFormat[100];
  CDynArray signatureBytes{1};                          // one byte per callable code
  int32_t nGlobalParameters = 0;
  int32_t nNewGlobalParameters = 0;
  GLOBALPARAM globalParameterNames[kMaxGlobalParameters];
  GLOBALPARAM* newGlobalParameters = nullptr;
  double globalValues[kMaxGlobalParameters];
  double systemValues[kSystemVariableCount];            // "@0".."@9", IER, AbsErr, nEval
  std::atomic<int32_t> outputPending{0};
  int32_t ProgramCount() const { return static_cast<int32_t>(programs.size()); }
  int32_t nDeclaredArrays = 0;                          // arrays added by the ARRAYS block
  int32_t nExternalFunctions = 0;
  int32_t index_base = 1;
  std::vector<ARRAYINFO> arrays;                        // the user arrays; their data blocks are owned here
  CStrArray programTexts;
  double undefined;                                     // quiet NaN 0xFFF8000000000000
  RUNCONTROL* runControl = nullptr;
  int32_t callDepth = 0;
  std::vector<SUSPENDEDSLOTS> suspendedSlots;           // of the suspended activations, innermost last
  ZEROFINDERSTATE zeroFinderTemplate;                   // the start of every root search
  CStrArray stringConstants;
  FILE* printFile = nullptr;
  FILE* writeFile = nullptr;
  FILE* readFile = nullptr;
  std::atomic<int32_t> programInProgress{-1};
  std::atomic<int32_t> outputLinesConsumed{-1};

  // Hand-shake and keyboard flags shared with the user-program thread.
  std::atomic<uint8_t> directiveOutputEnabled{1};
  std::atomic<uint8_t> lineReady{0};
  std::atomic<uint8_t> lastLineComplete{1};
  std::atomic<uint8_t> acknowledged{0};
  std::atomic<uint8_t> keyboardPollingAllowed{1};
  std::atomic<uint8_t> escPressed{0};
  std::atomic<uint8_t> timeWarningPrinted{0};
  std::atomic<uint8_t> severeDiagnostic{0};
  // Set by the reader (Esc, the time warning) to have the program thread,
  // which alone touches the write file, flush it at its next block end.
  std::atomic<uint8_t> writeFlushRequested{0};

  // One record per PROGRAM, SUBROUTINE or PARAMETERS block, in input order.
  std::vector<std::unique_ptr<PROGRAMRECORD>> programs;

  int32_t elementSizes[kElementTypeCodes];              // bytes per array element type code
  CRandGen randomGenerator;                             // srand2 and rand2; seeded 1802, 9373
  char kindNames[kKindNameCount][2000];                 // global parameter, local parameter, ...
  SortComparator sortComparators[kElementTypeCount];    // by array element type

 private:
  void StoreBuiltinTables();
  void StoreSignatureBytes();
  void FreeArrays();
};

// Signature byte of a callable with n arguments of the given kinds: 0 for none,
// 255 for four or more, else sum of (min(kind, 4) + 1) * 5^i modulo 256.
uint8_t SignatureByteOf(int nArguments, const uint8_t* kinds);

namespace language {
extern Compiler* compiler;
extern Compiler* activeCompiler;
}  // namespace language
