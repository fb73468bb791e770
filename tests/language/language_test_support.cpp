#include "tests/language/language_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "language/activation_link.h"
#include "language/program_listing.h"

LanguageSession::LanguageSession() : language(std::make_unique<Compiler>()) {}

std::string LanguageSession::BlockText(const std::string& lines) {
  std::string text;
  size_t start = 0;
  for (;;) {
    size_t end = lines.find('\n', start);
    text += lines.substr(start, end == std::string::npos ? std::string::npos : end - start) + "\r\n";
    if (end == std::string::npos) return text;
    start = end + 1;
  }
}

int LanguageSession::DeclareArrays(const std::string& lines, std::string* message) {
  char text[2001] = "";
  int result = language->ParseArrays(BlockText(lines).c_str(), text);
  if (message != nullptr) *message = text;
  return result;
}

int LanguageSession::AddProgram(const std::string& name, const std::string& lines, bool parameterList) {
  int k = language->ProgramCount();
  language->programs.push_back(std::make_unique<PROGRAMRECORD>());
  PROGRAMRECORD& record = Program(k);
  std::snprintf(record.info.name, sizeof record.info.name, "%s", name.c_str());
  record.info.diagnosticLine = -1;
  language->programTexts.Add(BlockText(lines).c_str());
  headerLines = 0;
  if (parameterList) {
    headerLines = language->ParseProgram(k);
    if (record.info.diagnosticKind >= kDiagnosticSyntaxError) return k;
  }
  std::string text = language->programTexts.GetAt(k);
  language->CompileProgram(text.c_str(), headerLines, &record.info, &record.code, k, 0);
  return k;
}

int LanguageSession::AddParameters(const std::string& lines) {
  int k = language->ProgramCount();
  language->programs.push_back(std::make_unique<PROGRAMRECORD>());
  PROGRAMRECORD& record = Program(k);
  record.info.isParameters = 1;
  record.info.diagnosticLine = -1;
  std::string text = BlockText(lines);
  language->programTexts.Add(text.c_str());
  language->CompileProgram(text.c_str(), 0, &record.info, &record.code, k, 0);
  if (record.info.diagnosticKind >= kDiagnosticSyntaxError) return k;
  Compiler& l = *language;
  for (int i = 0; i < l.nNewGlobalParameters; ++i) {
    l.globalParameterNames[l.nGlobalParameters] = l.newGlobalParameters[i];
    l.globalValues[l.nGlobalParameters++] = 0.0;
  }
  l.ClearNewGlobalParameters();
  language->CompileProgram(text.c_str(), 0, &record.info, &record.code, k, 0);
  return k;
}

std::string LanguageSession::Listing(int k) { return ProgramListing(Program(k).code, *language); }

std::string LanguageSession::Diagnostic(int k) {
  const PROGRAMINFO& info = Program(k).info;
  return std::to_string(info.diagnosticKind) + " " + std::to_string(info.diagnosticLine) + ": " + info.diagnostic;
}

double LanguageSession::RunStraightLine(int k, bool* stopped) {
  CProgramCode& code = Program(k).code;
  currentProgram = &code;
  double last = code.values[0];
  if (stopped != nullptr) *stopped = false;
  for (int i = 0; i < code.instructionCount; ++i) {
    int opcode = code.opcodes.Items<int32_t>()[i];
    double* result = code.values + code.resultSlots.Items<int32_t>()[i];
    if (opcode < kOrdinaryBuiltinCount) {
      *result = language->ordinaryBuiltins[opcode](code.Operands(i));
    } else if (opcode < kBuiltinCount && opcode != kReturnBuiltin && !language->repeatedEvaluation[opcode]) {
      if (language->specialBuiltins[opcode](opcode, nullptr, nullptr, i) != 0) {
        if (stopped != nullptr) *stopped = true;
        return language->runControl->lastResult;
      }
    } else {
      ADD_FAILURE() << "instruction " << i << " (opcode " << opcode << ") is not run straight";
      return last;
    }
    last = *result;
  }
  return last;
}
