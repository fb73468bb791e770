#include "tests/language/language_test_support.h"

#include <cstdio>

#include "language/interpreter.h"
#include "language/program_listing.h"
#include "language/program_services.h"
#include "platform/threads.h"

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

PROGRAMRUN LanguageSession::Run(int k, const std::function<void()>& whileRunning) {
  Compiler& l = *language;
  language::activeCompiler = &l;
  PROGRAMRECORD& record = Program(k);
  RUNCONTROL& run = *l.runControl;
  record.code.ClearErrorState();
  if (record.code.values != nullptr && record.code.valueCapacity >= 2) {
    record.code.values[0] = record.code.values[1] = l.undefined;
  }
  run.info = &record.info;
  run.code = &record.code;
  run.program = -1;
  run.lastResult = 0;
  run.interruptRequest.store(0);
  run.running.store(1, std::memory_order_release);
  l.programInProgress.store(k);
  l.outputPending.store(1);
  l.callDepth = 0;
  l.acknowledged.store(0);
  l.lineReady.store(0);
  l.lastLineComplete.store(1);

  PROGRAMRUN result;
  if (!StartThread(ProgramThread, &l, k, kProgramThreadStackBytes)) return result;
  while (run.running.load(std::memory_order_acquire)) {
    if (whileRunning) whileRunning();
    if (l.lineReady.load(std::memory_order_acquire)) {
      int last = record.outputLines.GetCount() - 1;
      std::string line = record.outputLines.GetAt(last);
      if (!line.empty() && line.back() == '\n') line.pop_back();
      result.lines.push_back(line);
      l.lineReady.store(0, std::memory_order_release);
      l.acknowledged.store(1, std::memory_order_release);
    }
    YieldThread();
  }
  // A last line written without a newline.
  int count = record.outputLines.GetCount();
  if (!l.lastLineComplete.load() && count > 0) result.lines.push_back(record.outputLines.GetAt(count - 1));
  l.outputPending.store(0);
  result.value = run.lastResult;
  l.ComposeRuntimeError(&record.info, &record.code, k);
  result.diagnostic = Diagnostic(k);
  return result;
}

CALLFRAME LanguageSession::StartedFrame(int k) {
  PROGRAMRECORD& record = Program(k);
  CALLFRAME frame{};
  frame.program = -1;
  frame.info = &record.info;
  frame.code = &record.code;
  frame.callerCode = &record.code;
  return frame;
}

CALLSTATE LanguageSession::FreshState(int k) {
  CALLSTATE state{};
  state.currentLevel = state.deepestLevel = state.zeroFinderLevel = state.designatedArray = -1;
  state.slotCount = Program(k).code.slotCount;
  return state;
}
