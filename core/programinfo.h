// PROGRAMINFO: the diagnostic record of one program block of the embedded
// language (PROGRAM, SUBROUTINE or PARAMETERS), written by the input reader
// and by the language.
#pragma once

#include <cstdint>

constexpr int kProgramNameLength = 1000;
constexpr int kDiagnosticLength = 2000;

// Diagnostic kinds.
enum DiagnosticKind : int32_t {
  kDiagnosticPlain = 0,          // found outside compilation and running
  kDiagnosticSyntaxWarning = 1,
  kDiagnosticSyntaxError = 2,
  kDiagnosticRuntimeError = 3,
};

struct PROGRAMINFO {
  uint8_t isParameters;                       // 1 for the PARAMETERS block
  char name[kProgramNameLength + 1];          // empty for PARAMETERS
  char diagnostic[kDiagnosticLength + 1];     // diagnostic text
  int32_t diagnosticKind;                     // DiagnosticKind
  int32_t diagnosticLine;                     // block line of the diagnostic, -1 none
  int32_t localVariableCount;                 // 0 when the block is added
};
