// The compiled form of one program block and the per-program tables that the
// Compiler keeps for it: the diagnostic record, the lines the program wrote in
// directive mode with the source lines that wrote them, and the input-file
// positions of the block's source lines.
#pragma once

#include <cstdint>
#include <vector>

#include "core/containers.h"
#include "core/programinfo.h"

class CProgramCode {
 public:
  CProgramCode() = default;

  int32_t instructionCount = 0;
  int32_t errorKind = 0;              // 0 none, 1 array, 2 built-in, 4 call depth, 6 nesting
  double timeLimit = 2.0;             // seconds before the reader's execution-time warning
  int32_t syntaxErrorLine = -1;
  int32_t errorCode = 0;
  int32_t errorArray = 0;             // array number + 1 of a failed reference, 0 none
  int32_t errorProgram = -2;          // -2 none, -1 the running program, else its index
  int32_t errorBuiltin = 0;           // built-in code + 1, 0 none
  int32_t errorLine = -1;
  int32_t warningLine = -1;
  int32_t currentInstruction = -1;
  int32_t interruptedAt = -1;
  std::vector<int32_t> instructionLines;  // source-line index of each instruction
  double* values = nullptr;               // the program's value slots
  int32_t valueCapacity = 0;

  // Clears the run state before a block is compiled or run.
  void ClearErrorState() {
    instructionCount = 0;
    errorKind = 0;
    errorCode = 0;
    errorArray = 0;
    errorProgram = -2;
    errorBuiltin = 0;
    errorLine = -1;
  }
};

struct PROGRAMRECORD {
  PROGRAMINFO info{};
  CProgramCode code;
  CStrArray outputLines;              // lines the program wrote in directive mode
  CDynArray outputLineSources{4};     // source line of the instruction that wrote each line
  std::vector<int64_t> linePositions; // input-file position of each source line
  int64_t startPosition = 0;          // where the block text begins
  int64_t endPosition = 0;            // where its END line begins
};
