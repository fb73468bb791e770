// The program compiler's statement pass: the block's text is cut into
// statement segments, and the segments are compiled in order; "if", "else",
// "while" and "for" open blocks whose jumps are patched when their bodies
// close; at the end the warnings of the block are decided.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/programinfo.h"
#include "core/text.h"
#include "language/compile_context.h"
#include "language/compiler.h"
#include "language/expression_compiler.h"
#include "language/statement_segments.h"

namespace {

constexpr const char* kForBodyKeyword =
    "If the first keyword inside the body of a \"for\" loop is \"if\", \"while\" or \"for\", then the entire body of "
    "the loop must be enclosed by braces.";
constexpr const char* kBraceAfterStatement = "The left brace cannot be placed after a statement.";

class StatementCompiler {
 public:
  explicit StatementCompiler(CompileContext& context) : context_(context) {}
  // Compiles the segments; a fault leaves context.line at its statement.
  COMPILEFAULT Run(const std::vector<STATEMENTSEGMENT>& segments);
  bool ResultMayBeUndefined() const { return resultMayBeUndefined_; }

 private:
  enum class BlockKind { kIf, kElse, kWhile, kFor };
  enum class Body { kAwaited, kBraced, kUnbraced };

  struct OPENBLOCK {
    BlockKind kind = BlockKind::kIf;
    Body body = Body::kAwaited;
    int serial = 0;          // for the checks of unset variables
    int headerBlock = -1;    // if, while, for: the block that ends with the condition
    int conditionStart = 0;  // while, for: the condition's first instruction ...
    int conditionBlock = 0;  // ... and the block it lies in
    int ifBodyEnd = -1;      // else: the last block of the if's body
    int bodyStart = 0;       // the body's first instruction
    bool assigns = false;    // if: a statement of its body assigns a variable
    std::string step;        // for: the step statement ...
    int stepLine = 0;        // ... on the header's line
  };

  struct CLOSEDIF {
    int bodyEnd;  // the last block of its body
    bool assigns;
  };

  COMPILEFAULT Segment(const STATEMENTSEGMENT& segment);
  COMPILEFAULT Text(const std::string& text, char terminator, const STATEMENTSEGMENT& segment);
  COMPILEFAULT Body(const std::string& rest, char terminator, const STATEMENTSEGMENT& segment);
  COMPILEFAULT Header(BlockKind kind, const std::string& condition);
  COMPILEFAULT Else();
  COMPILEFAULT Statement(const std::string& text);
  COMPILEFAULT OpenBrace();
  COMPILEFAULT CloseBrace(const STATEMENTSEGMENT& segment);
  COMPILEFAULT CloseTop(std::optional<CLOSEDIF>* closedIf);
  COMPILEFAULT Cascade();
  COMPILEFAULT SettlePendingIf(bool elseFollows);
  COMPILEFAULT BeginBody(bool header);
  COMPILEFAULT EndBlock(bool conditional, int* block);

  CompileContext& context_;
  std::vector<OPENBLOCK> open_;
  std::optional<CLOSEDIF> pendingIf_;  // an if just closed: an else may follow
  int nextSerial_ = 1;
  bool resultMayBeUndefined_ = false;
};

COMPILEFAULT StatementCompiler::Run(const std::vector<STATEMENTSEGMENT>& segments) {
  for (const STATEMENTSEGMENT& segment : segments) {
    COMPILEFAULT fault = Segment(segment);
    if (fault) return fault;
  }
  COMPILEFAULT fault = SettlePendingIf(false);
  if (fault) return fault;
  if (!open_.empty()) return Fault(NumberedMessage(2406));
  return {};
}

COMPILEFAULT StatementCompiler::Segment(const STATEMENTSEGMENT& segment) {
  context_.line = segment.line;
  bool elseFollows = !segment.forHeader && OpensWithElse(segment.text);
  COMPILEFAULT fault = SettlePendingIf(elseFollows);
  if (fault) return fault;
  if (!segment.forHeader) return Text(segment.text, segment.terminator, segment);
  fault = Header(BlockKind::kFor, segment.text);
  if (fault) return fault;
  open_.back().step = segment.forStep;
  open_.back().stepLine = segment.line;
  return Body("", segment.terminator, segment);
}

// A segment's text (or the rest of a header's text) with its terminator.
COMPILEFAULT StatementCompiler::Text(const std::string& text, char terminator, const STATEMENTSEGMENT& segment) {
  if (OnlyBlanks(text.c_str())) {
    if (terminator == '{') return OpenBrace();
    if (terminator == '}') return CloseBrace(segment);
    return {};
  }
  size_t open = 0;
  std::string keyword;
  if (OpensWithHeader(text, &open, &keyword)) {
    size_t close = ClosingParenthesis(text, open);
    if (close == std::string::npos) return Fault(NumberedMessage(2381));
    BlockKind kind = EqualNoCase(keyword, "if")      ? BlockKind::kIf
                     : EqualNoCase(keyword, "while") ? BlockKind::kWhile
                                                     : BlockKind::kFor;
    COMPILEFAULT fault = Header(kind, text.substr(open + 1, close - open - 1));
    if (fault) return fault;
    return Body(text.substr(close + 1), terminator, segment);
  }
  if (OpensWithElse(text)) {
    COMPILEFAULT fault = Else();
    if (fault) return fault;
    return Body(SkipBlanks(text.c_str()) + 4, terminator, segment);
  }
  COMPILEFAULT fault = Statement(text);
  if (fault) return fault;
  if (terminator == '}') return CloseBrace(segment);
  return {};
}

// What follows a header: the first statement of an unbraced body, a brace,
// or nothing yet.
COMPILEFAULT StatementCompiler::Body(const std::string& rest, char terminator, const STATEMENTSEGMENT& segment) {
  if (!OnlyBlanks(rest.c_str())) return Text(rest, terminator, segment);
  if (terminator == '{') return OpenBrace();
  if (terminator == '}') return Fault(NumberedMessage(2406));
  return {};
}

// The statement or header that begins an awaited body makes it unbraced.
COMPILEFAULT StatementCompiler::BeginBody(bool header) {
  if (open_.empty() || open_.back().body != Body::kAwaited) return {};
  if (header && open_.back().kind == BlockKind::kFor) return Fault(kForBodyKeyword);
  open_.back().body = Body::kUnbraced;
  return {};
}

COMPILEFAULT StatementCompiler::EndBlock(bool conditional, int* block) {
  *block = context_.emitter.EndBlock(conditional);
  return *block < 0 ? Fault(TooManyBlocksMessage()) : COMPILEFAULT{};
}

COMPILEFAULT StatementCompiler::Header(BlockKind kind, const std::string& condition) {
  COMPILEFAULT fault = BeginBody(true);
  if (fault) return fault;
  if (OnlyBlanks(condition.c_str())) return Fault(NumberedMessage(2373));
  if (!AssignmentOperators(condition).empty()) return Fault(NumberedMessage(2375));
  OPENBLOCK block;
  block.kind = kind;
  block.conditionStart = context_.emitter.InstructionCount();
  block.conditionBlock = context_.emitter.OpenBlock();
  bool assigns = false;
  fault = CompileStatementText(context_, condition, StatementRole::kCondition, &assigns);
  if (fault) return fault;
  fault = EndBlock(true, &block.headerBlock);
  if (fault) return fault;
  block.serial = nextSerial_++;
  block.bodyStart = context_.emitter.InstructionCount();
  open_.push_back(block);
  context_.openSerials.push_back(block.serial);
  return {};
}

COMPILEFAULT StatementCompiler::Else() {
  if (!pendingIf_) return Fault(NumberedMessage(2406));
  OPENBLOCK block;
  block.kind = BlockKind::kElse;
  block.ifBodyEnd = pendingIf_->bodyEnd;
  block.serial = nextSerial_++;
  block.bodyStart = context_.emitter.InstructionCount();
  pendingIf_.reset();
  open_.push_back(block);
  context_.openSerials.push_back(block.serial);
  return {};
}

COMPILEFAULT StatementCompiler::Statement(const std::string& text) {
  COMPILEFAULT fault = BeginBody(false);
  if (fault) return fault;
  bool assigns = false;
  fault = CompileStatementText(context_, text, StatementRole::kStatement, &assigns);
  if (fault) return fault;
  if (assigns) {
    for (OPENBLOCK& block : open_) {
      if (block.kind == BlockKind::kIf) block.assigns = true;
    }
  }
  return Cascade();
}

COMPILEFAULT StatementCompiler::OpenBrace() {
  if (open_.empty() || open_.back().body != Body::kAwaited) return Fault(kBraceAfterStatement);
  open_.back().body = Body::kBraced;
  return {};
}

COMPILEFAULT StatementCompiler::CloseBrace(const STATEMENTSEGMENT& segment) {
  if (segment.braceBeforeBrace) return Fault(NumberedMessage(2646));
  if (segment.braceNotLast) return Fault(NumberedMessage(2374));
  if (open_.empty()) return Fault("Error: mismatched braces.");
  if (open_.back().body != Body::kBraced) return Fault(NumberedMessage(2406));
  std::optional<CLOSEDIF> closedIf;
  COMPILEFAULT fault = CloseTop(&closedIf);
  if (fault) return fault;
  if (closedIf) {
    pendingIf_ = closedIf;
    return {};
  }
  return Cascade();
}

// Closes the innermost block: a loop's step, the end of its body, and the
// jumps that its closing settles.
COMPILEFAULT StatementCompiler::CloseTop(std::optional<CLOSEDIF>* closedIf) {
  OPENBLOCK block = open_.back();
  ProgramEmitter& emitter = context_.emitter;
  if (emitter.InstructionCount() == block.bodyStart) resultMayBeUndefined_ = true;
  if (block.kind == BlockKind::kFor && !OnlyBlanks(block.step.c_str())) {
    int closingLine = context_.line;
    context_.line = block.stepLine;
    bool assigns = false;
    COMPILEFAULT fault = CompileStatementText(context_, block.step, StatementRole::kStatement, &assigns);
    if (fault) return fault;
    context_.line = closingLine;
  }
  int end = 0;
  COMPILEFAULT fault = EndBlock(false, &end);
  if (fault) return fault;
  int after = emitter.InstructionCount();
  switch (block.kind) {
    case BlockKind::kIf:
      emitter.SetJump(block.headerBlock, after, end + 1);
      break;
    case BlockKind::kElse:
      emitter.SetJump(block.ifBodyEnd, after, end + 1);
      break;
    case BlockKind::kWhile:
    case BlockKind::kFor:
      emitter.SetJump(end, block.conditionStart, block.conditionBlock);
      emitter.SetLoopMarker(end, block.headerBlock);
      emitter.SetJump(block.headerBlock, after, end + 1);
      break;
  }
  open_.pop_back();
  context_.openSerials.pop_back();
  if (block.kind == BlockKind::kIf) *closedIf = CLOSEDIF{end, block.assigns};
  return {};
}

// A finished statement completes every unbraced body around it, up to an
// if, which waits for a possible else.
COMPILEFAULT StatementCompiler::Cascade() {
  while (!open_.empty() && open_.back().body == Body::kUnbraced) {
    std::optional<CLOSEDIF> closedIf;
    COMPILEFAULT fault = CloseTop(&closedIf);
    if (fault) return fault;
    if (closedIf) {
      pendingIf_ = closedIf;
      return {};
    }
  }
  return {};
}

COMPILEFAULT StatementCompiler::SettlePendingIf(bool elseFollows) {
  while (pendingIf_ && !elseFollows) {
    if (pendingIf_->assigns) resultMayBeUndefined_ = true;
    pendingIf_.reset();
    COMPILEFAULT fault = Cascade();
    if (fault) return fault;
  }
  return {};
}

// ---------------------------------------------------------------- diagnostics

void SetDiagnostic(PROGRAMINFO& info, const std::string& text, int kind, int line) {
  std::snprintf(info.diagnostic, sizeof info.diagnostic, "%s", text.c_str());
  info.diagnosticKind = kind;
  info.diagnosticLine = line;
}

void ReportError(CompileContext& context, const std::string& text, int line) {
  SetDiagnostic(context.info, text, kDiagnosticSyntaxError, line);
  context.code.syntaxErrorLine = line;
  context.code.warningLine = -1;
}

void ReportWarning(CompileContext& context, const std::string& text, int line) {
  SetDiagnostic(context.info, text, kDiagnosticSyntaxWarning, line);
  context.code.warningLine = line;
}

// The first warning that applies, in the order: an unused formal parameter,
// a result that may be undefined, a variable read while maybe unset.
void DecideWarning(CompileContext& context, bool resultMayBeUndefined, int lastLine) {
  for (size_t j = 0; j < context.formals.size(); ++j) {
    if (context.code.parameterUsed[j]) continue;
    ReportWarning(context, NumberedMessage(2670, CutName(context.formals[j].name).c_str()), lastLine);
    return;
  }
  if (resultMayBeUndefined) {
    ReportWarning(context, NumberedMessage(2419), lastLine);
    return;
  }
  if (context.maybeUnsetLine >= 0) {
    ReportWarning(context, NumberedMessage(2420, CutName(context.maybeUnsetName).c_str()), context.maybeUnsetLine);
    return;
  }
  SetDiagnostic(context.info, "", kDiagnosticPlain, -1);
}

// The record prepared for the block: slots, the formal parameters' flags and
// the identifier codes.
void PrepareRecord(Compiler& language, CProgramCode& code, const PROGRAMINFO& info, const PARAMLIST& parameters) {
  code.Reset(parameters.count, info.localVariableCount);
  code.compiling = 1;
  code.compiledFormalCount = parameters.count;
  code.compiledProgramCount = language.ProgramCount();
  for (int j = 0; j < parameters.count; ++j) {
    code.slotReadOnly.Items<uint8_t>()[kSystemSlotCount + j] = parameters.kind[j] == 1 ? 0 : 1;
  }
}

}  // namespace

void Compiler::CompileProgram(const char* text, int headerLines, PROGRAMINFO* info, CProgramCode* code, int program,
                              int last) {
  const PARAMLIST& parameters = programs[program]->parameters;
  PrepareRecord(*this, *code, *info, parameters);
  StoreProgramSignature(program);
  if (info->isParameters) ClearNewGlobalParameters();

  CompileContext context(*this, *info, *code, program);
  context.layout = code->Layout();
  context.formals = FormalParametersOf(parameters.list.c_str(), parameters.kind, parameters.count);

  std::vector<STATEMENTSEGMENT> segments;
  int faultLine = headerLines;
  COMPILEFAULT fault = CutStatementSegments(text, headerLines, &segments, &faultLine);
  if (fault) return ReportError(context, fault.text, faultLine);
  if (segments.empty()) return ReportError(context, NumberedMessage(2671), headerLines);

  StatementCompiler statements(context);
  fault = statements.Run(segments);
  if (fault) return ReportError(context, fault.text, context.line);
  if (!context.emitter.Finish()) return ReportError(context, TooManyBlocksMessage(), context.line);
  if (context.failedCallee >= 0 && last == 0) {
    std::string name = CutName(programs[context.failedCallee]->info.name);
    return ReportError(context, NumberedMessage(2650, name.c_str()), context.failedCalleeLine);
  }
  code->SizeValueBufferForRun();
  DecideWarning(context, statements.ResultMayBeUndefined(), segments.back().line);
}
