// The program block parser: the formal-parameter list that follows
// "SUBROUTINE name(" up to its closing parenthesis, over one or more lines.
// Each parameter is a value ("x"), an output variable ("loc(x)"), an array
// ("loc(a[,])", up to 20 dimensions) or a function ("loc(f(x, loc(y),
// loc(v[]), loc(m[,])))", up to 3 arguments); the list is stored in a normal
// form with one kind byte per parameter, and the program's text is cut to
// what follows the list.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/programinfo.h"
#include "core/text.h"
#include "language/compile_messages.h"
#include "language/compiler.h"
#include "language/messages.h"

namespace {

constexpr size_t kParameterNameLength = 50;
constexpr int kMaxArrayParameterDimensions = 20;
constexpr int kMaxFunctionArguments = 3;
constexpr int kFirstFunctionKind = 22;
constexpr const char* kSeparators = "+-/*^=,().!?<>;:[]{}|\\'%\"";
constexpr const char* kListNotClosed =
    "The right parenthesis indicating the end of the list of formal parameters is absent.";

std::string Trim(const std::string& text) { return TrimmedRight(SkipBlanks(text.c_str())); }

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

// "Parameter name" (message 2532), the label of the names' messages.
std::string ParameterLabel() {
  char label[kDiagnosticLength + 1];
  GetMessageText(2532, label, sizeof label);
  return label;
}

std::string EmptyNameMessage() { return NumberedMessage(2238, ParameterLabel().c_str()); }

size_t SkipBlanksAt(const std::string& text, size_t p) {
  while (p < text.size() && IsBlank(text[p])) ++p;
  return p;
}

// "loc" followed by blanks and '(' at p: the position behind the '(' or npos.
size_t LocOpening(const std::string& text, size_t p) {
  if (!EqualNoCaseN(text.c_str() + p, "loc", 3)) return std::string::npos;
  size_t q = SkipBlanksAt(text, p + 3);
  return q < text.size() && text[q] == '(' ? q + 1 : std::string::npos;
}

class FormalListParser {
 public:
  FormalListParser(Compiler& language, int program) : language_(language), program_(program) {}

  // Parses the list at the start of text; true on success with *end the
  // position of its closing parenthesis. *line is the line reached.
  bool Parse(const std::string& text, size_t* end, int* line);
  // The outcome, once Parse succeeded.
  void Store(PARAMLIST* parameters) const;
  const std::string& Message() const { return message_; }
  // The message that lists the global objects whose names the parameters
  // take; empty when there are none.
  std::string ClashesMessage() const;

 private:
  bool ParseLine(const std::string& content);
  bool ParseParameter(const std::string& content, size_t* p);
  bool ParseLoc(const std::string& content, size_t open, size_t* p, std::string* form, uint8_t* kind);
  bool ParseArray(const std::string& content, size_t* p, std::string* form, uint8_t* kind);
  bool ParseFunction(const std::string& content, size_t* p, std::string* form, uint8_t* kind);
  bool ParseFunctionArgument(const std::string& content, size_t* p, std::string* form, int* argumentKind,
                             bool* listClosed);
  bool CheckName(std::string* name);
  bool ParseArgumentArray(const std::string& content, size_t* i, int* kind);
  bool CheckArgumentName(const std::string& name);
  bool Fail(const std::string& text);

  Compiler& language_;
  int program_;
  std::vector<std::string> names_;
  std::vector<uint8_t> kinds_;
  std::vector<std::string> forms_;  // normal forms
  std::string header_;
  IDENTIFIERCLASHES clashes_;
  std::string message_;
};

bool FormalListParser::Fail(const std::string& text) {
  message_ = text;
  return false;
}

// ---------------------------------------------------------------- lines

bool FormalListParser::Parse(const std::string& text, size_t* end, int* line) {
  size_t start = 0;
  *line = -1;
  while (start < text.size()) {
    ++*line;
    size_t lineEnd = text.find('\r', start);
    if (lineEnd == std::string::npos) lineEnd = text.size();
    std::string content = text.substr(start, lineEnd - start);
    std::string comment;
    size_t slashes = content.find("//");
    if (slashes != std::string::npos) {
      comment = content.substr(slashes + 2);
      content.erase(slashes);
    }
    size_t first = SkipBlanksAt(content, 0);
    size_t close = std::string::npos;
    int depth = 1;
    for (size_t i = first; i < content.size() && close == std::string::npos; ++i) {
      if (content[i] == '(') ++depth;
      if (content[i] == ')' && --depth == 0) close = i;
    }
    content = close != std::string::npos ? content.substr(0, close) : TrimmedRight(content);
    size_t formsBefore = forms_.size();
    if (!OnlyBlanks(content.c_str()) && !ParseLine(content)) return false;
    for (size_t k = formsBefore; k < forms_.size(); ++k) header_ += (k > 0 ? ", " : "") + forms_[k];
    if (slashes != std::string::npos) header_ += " //" + comment;
    if (close != std::string::npos) {
      *end = start + close;
      return true;
    }
    header_ += "\r\n";
    start = lineEnd + 1;
    if (start < text.size() && text[start] == '\n') ++start;
  }
  if (*line < 0) *line = 0;
  return Fail(kListNotClosed);
}

bool FormalListParser::ParseLine(const std::string& content) {
  size_t p = 0;
  for (;;) {
    p = SkipBlanksAt(content, p);
    if (p >= content.size()) return true;
    if (!ParseParameter(content, &p)) return false;
  }
}

// ---------------------------------------------------------------- one parameter

bool FormalListParser::ParseParameter(const std::string& content, size_t* p) {
  if (names_.size() >= static_cast<size_t>(kMaxFormalParameters)) {
    char text[200];
    std::snprintf(text, sizeof text, "Error: the number of formal parameters is greater than %d.",
                  kMaxFormalParameters);
    return Fail(text);
  }
  std::string form;
  uint8_t kind = 0;
  size_t open = LocOpening(content, *p);
  if (open != std::string::npos) {
    if (!ParseLoc(content, open, p, &form, &kind)) return false;
  } else {
    size_t comma = content.find(',', *p);
    std::string name = content.substr(*p, comma == std::string::npos ? std::string::npos : comma - *p);
    if (!CheckName(&name)) return false;
    form = name;
    *p = comma == std::string::npos ? content.size() : comma + 1;
    if (comma != std::string::npos && *p < content.size() && content[*p] == ',') {
      return Fail(EmptyNameMessage());
    }
  }
  forms_.push_back(form);
  kinds_.push_back(kind);
  return true;
}

// The name's checks: the identifier rules, the program's own name, the
// names before it; clashes with global objects are gathered.
bool FormalListParser::CheckName(std::string* name) {
  std::string cut = name->substr(0, kParameterNameLength);
  std::vector<char> text(cut.begin(), cut.end());
  text.push_back('\0');
  std::string label = ParameterLabel();
  char message[kDiagnosticLength + 1] = "";
  int index = -1;
  if (!language_.CheckIdentifier(text.data(), 0, &index, label.c_str(), message, &clashes_)) return Fail(message);
  *name = text.data();
  if (EqualNoCase(*name, language_.programs[program_]->info.name)) return Fail(NumberedMessage(2678));
  for (const std::string& earlier : names_) {
    if (EqualNoCase(*name, earlier)) return Fail(NumberedMessage(2669, CutName(*name).c_str()));
  }
  names_.push_back(*name);
  return true;
}

bool FormalListParser::ParseLoc(const std::string& content, size_t open, size_t* p, std::string* form, uint8_t* kind) {
  size_t start = SkipBlanksAt(content, open);
  size_t end = content.find_first_of(")[(", start);
  if (end == std::string::npos) return Fail(NumberedMessage(2704));
  std::string name = content.substr(start, end - start);
  if (!CheckName(&name)) return false;
  *form = "loc(" + name;
  *p = end + 1;
  switch (content[end]) {
    case ')': {
      *kind = 1;
      *form += ")";
      size_t comma = content.find(',', *p);
      *p = comma == std::string::npos ? content.size() : comma + 1;
      if (comma != std::string::npos && *p < content.size() && content[*p] == ',') {
        return Fail(EmptyNameMessage());
      }
      return true;
    }
    case '[':
      if (!ParseArray(content, p, form, kind)) return false;
      break;
    default:
      if (!ParseFunction(content, p, form, kind)) return false;
      break;
  }
  while (*p < content.size() && (content[*p] == ',' || IsBlank(content[*p]))) ++*p;
  return true;
}

// Behind "loc(name[": commas, blanks and tabs up to ']', then ')'.
bool FormalListParser::ParseArray(const std::string& content, size_t* p, std::string* form, uint8_t* kind) {
  int commas = 0;
  size_t i = *p;
  for (;; ++i) {
    if (i >= content.size()) return Fail(NumberedMessage(2724));
    char ch = content[i];
    if (ch == ']') break;
    if (ch == ',') {
      if (++commas >= kMaxArrayParameterDimensions) return Fail(NumberedMessage(2722));
    } else if (!IsBlank(ch)) {
      return Fail(NumberedMessage(2705));
    }
  }
  i = SkipBlanksAt(content, i + 1);
  if (i >= content.size() || content[i] != ')') return Fail(NumberedMessage(2723));
  *p = i + 1;
  *kind = static_cast<uint8_t>(commas + 2);
  *form += "[";
  for (int c = 0; c < commas; ++c) *form += " ,";
  *form += " ])";
  return true;
}

// Behind "loc(name(": the arguments up to ')', then the ')' of the loc.
bool FormalListParser::ParseFunction(const std::string& content, size_t* p, std::string* form, uint8_t* kind) {
  int arguments = 0;
  int sum = 0;
  int weight = 1;
  std::string list;
  size_t i = SkipBlanksAt(content, *p);
  bool open = !(i < content.size() && content[i] == ')');
  if (!open) ++i;
  while (open) {
    std::string argument;
    int argumentKind = -1;  // -1: nothing declared by this pass
    bool closed = false;
    if (!ParseFunctionArgument(content, &i, &argument, &argumentKind, &closed)) return false;
    if (argumentKind >= 0) {
      if (++arguments > kMaxFunctionArguments) return Fail(NumberedMessage(2729));
      sum += (argumentKind + 1) * weight;
      weight *= 5;
      list += (list.empty() ? "" : ", ") + argument;
    }
    open = !closed;
  }
  i = SkipBlanksAt(content, i);
  if (i >= content.size()) return Fail(NumberedMessage(2381));
  if (content[i] != ')') return Fail(NumberedMessage(2725));
  *p = i + 1;
  *kind = static_cast<uint8_t>(kFirstFunctionKind + sum);
  *form += "(" + list + "))";
  return true;
}

// One pass over a function argument from *p: a number, or loc of an output
// variable or of an array of one or two dimensions. A pass ends behind the
// ',' or ')' that ends the argument (*listClosed for the ')'); the empty
// text between a loc argument and its separator counts for nothing.
bool FormalListParser::ParseFunctionArgument(const std::string& content, size_t* p, std::string* form, int* kind,
                                             bool* listClosed) {
  size_t separator = content.find_first_of("(),", *p);
  if (separator == std::string::npos) return Fail(NumberedMessage(2725));
  std::string token = Trim(content.substr(*p, separator - *p));
  if (content[separator] != '(') {
    if (!token.empty() && !CheckArgumentName(token)) return false;
    *kind = 0;
    *form = token;
    *p = separator + 1;
    *listClosed = content[separator] == ')';
    return true;
  }
  if (!EqualNoCase(token, "loc")) return Fail(NumberedMessage(2726));
  size_t nameEnd = content.find_first_of("[)", separator + 1);
  if (nameEnd == std::string::npos) return Fail(NumberedMessage(2725));
  std::string name = Trim(content.substr(separator + 1, nameEnd - separator - 1));
  if (!CheckArgumentName(name)) return false;
  size_t i = nameEnd;
  if (content[i] == ')') {
    *kind = 1;
    *form = "loc(" + name + ")";
  } else {
    if (!ParseArgumentArray(content, &i, kind)) return false;
    *form = "loc(" + name + (*kind == 2 ? "[])" : "[,])");
  }
  size_t next = content.find_first_of("(),", i + 1);
  if (next == std::string::npos) return Fail(NumberedMessage(2725));
  if (OnlyBlanks(content.substr(i + 1, next - i - 1).c_str()) && content[next] != '(') {
    *p = next + 1;
    *listClosed = content[next] == ')';
  } else {
    *p = i + 1;  // text behind the loc argument: the next pass reads it
  }
  return true;
}

// The brackets of an array argument from the '[' at *i: one dimension
// ("[]", kind 2) or two ("[,]", kind 3), then the ')' of its loc, at which
// *i ends.
bool FormalListParser::ParseArgumentArray(const std::string& content, size_t* i, int* kind) {
  size_t at = SkipBlanksAt(content, *i + 1);
  if (at >= content.size()) return Fail(NumberedMessage(2725));
  if (content[at] == ',') {
    at = SkipBlanksAt(content, at + 1);
    if (at >= content.size()) return Fail(NumberedMessage(2725));
    if (content[at] == ',') return Fail(NumberedMessage(2727));
    if (content[at] != ']') return Fail(NumberedMessage(2705));
    *kind = 3;
  } else if (content[at] == ']') {
    *kind = 2;
  } else {
    return Fail(NumberedMessage(2705));
  }
  at = SkipBlanksAt(content, at + 1);
  if (at >= content.size()) return Fail(NumberedMessage(2725));
  if (content[at] != ')') return Fail(NumberedMessage(2728));
  *i = at;
  return true;
}

bool FormalListParser::CheckArgumentName(const std::string& name) {
  int number = 0;
  std::string shown;
  if (name.find_first_of(kSeparators) != std::string::npos) {
    number = 2289;
  } else if (IsDigit(name[0])) {
    number = 2290;
  } else {
    for (int c = kFirstIdentifierBuiltin; c < kBuiltinCount; ++c) {
      if (!EqualNoCase(name, language_.builtinNames[c])) continue;
      number = 2293;
      shown = language_.builtinNames[c];
      break;
    }
  }
  if (number == 0) return true;
  return Fail(NumberedMessage(2725) + " " + NumberedMessage(number, shown.c_str()));
}

// ---------------------------------------------------------------- the outcome

std::string FormalListParser::ClashesMessage() const {
  if (clashes_.empty()) return "";
  std::string message = NumberedMessage(2679);
  for (size_t k = 0; k < clashes_.size(); ++k) {
    char entry[kDiagnosticLength + 1];
    std::snprintf(entry, sizeof entry, "%c%c%s \"%s\"%s", '\r', '\n', language_.kindNames[clashes_[k].kind - 1],
                  clashes_[k].name.c_str(), k + 1 < clashes_.size() ? ", " : ".\n");
    if (message.size() + std::strlen(entry) > static_cast<size_t>(kDiagnosticLength)) break;
    message += entry;
  }
  return message;
}

void FormalListParser::Store(PARAMLIST* parameters) const {
  std::string list;
  for (size_t k = 0; k < forms_.size(); ++k) list += (k > 0 ? ", " : "") + forms_[k];
  parameters->count = static_cast<int32_t>(kinds_.size());
  std::memset(parameters->kind, 0, sizeof parameters->kind);
  for (size_t k = 0; k < kinds_.size(); ++k) parameters->kind[k] = kinds_[k];
  parameters->header = header_.c_str();
  parameters->list = list.c_str();
}

}  // namespace

int Compiler::ParseProgram(int program) {
  PROGRAMRECORD& record = *programs[program];
  std::string text = programTexts.GetAt(program);
  FormalListParser parser(*this, program);
  size_t end = 0;
  int line = 0;
  bool parsed = parser.Parse(text, &end, &line);
  std::string failure = parsed ? parser.ClashesMessage() : parser.Message();
  if (!parsed || !failure.empty()) {
    std::snprintf(record.info.diagnostic, sizeof record.info.diagnostic, "%s", failure.c_str());
    record.info.diagnosticKind = kDiagnosticSyntaxError;
    record.info.diagnosticLine = line;
    record.code.syntaxErrorLine = line;
    record.code.warningLine = -1;
    return line;
  }
  programTexts[program] = text.substr(end + 1).c_str();
  parser.Store(&record.parameters);
  StoreProgramSignature(program);
  return line;
}
