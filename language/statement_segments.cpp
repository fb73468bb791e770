#include "language/statement_segments.h"

#include <cstring>

#include "core/text.h"

namespace {

// The for messages, which carry no number.
constexpr const char* kForBraces = "Error: braces are not allowed inside the \"for\" loop header.";
constexpr const char* kForSemicolons =
    "Incorrect format of the \"for\" loop header: the number of semicolons is not equal to 2.";
constexpr const char* kForParentheses = "Incorrect format of the \"for\" loop header: mismatched parentheses.";
constexpr const char* kForEmptyCondition =
    "Incorrect format of the \"for\" loop header: the condition statement is empty.";
constexpr const char* kForBodyKeyword =
    "If the first keyword inside the body of a \"for\" loop is \"if\", \"while\" or \"for\", then the entire body of "
    "the loop must be enclosed by braces.";
constexpr const char* kForThenBrace = "The header of a \"for\" loop cannot be followed by the right brace.";
constexpr const char* kBraceAfterStatement = "The left brace cannot be placed after a statement.";

bool IsBlankText(const std::string& text) { return OnlyBlanks(text.c_str()); }

// The first character of `set` at or after `from` that lies outside double
// quotes; npos when there is none (or the quote holding it is not closed).
size_t FindOutsideQuotes(const std::string& text, size_t from, const char* set) {
  bool quoted = false;
  for (size_t i = from; i < text.size(); ++i) {
    if (text[i] == '"') quoted = !quoted;
    if (!quoted && std::strchr(set, text[i]) != nullptr) return i;
  }
  return std::string::npos;
}

// The lines of the text: a line ends at a carriage return, a line feed, or
// the pair of them.
std::vector<std::string> TextLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    char ch = text[i];
    if (ch != '\r' && ch != '\n') {
      line += ch;
      continue;
    }
    lines.push_back(line);
    line.clear();
    if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

std::string WithoutComment(const std::string& line) {
  size_t comment = line.find("//");
  return comment == std::string::npos ? line : line.substr(0, comment);
}

// A header ("if (...)", "while (...)", "else"), possibly behind other
// headers ("if (a) while (b)"), whose body has not begun: a '{' may follow.
bool AwaitsBody(const std::string& text) {
  if (OnlyBlanks(text.c_str())) return true;
  size_t open = 0;
  std::string keyword;
  if (OpensWithHeader(text, &open, &keyword)) {
    size_t close = ClosingParenthesis(text, open);
    return close != std::string::npos && AwaitsBody(text.substr(close + 1));
  }
  return OpensWithElse(text) && AwaitsBody(SkipBlanks(text.c_str()) + 4);
}

bool AwaitsBody(const STATEMENTSEGMENT& segment) {
  if (segment.terminator != '\0') return false;
  return segment.forHeader || (!OnlyBlanks(segment.text.c_str()) && AwaitsBody(segment.text));
}

// Whether a '{' may open a body after the text in front of it on its segment
// (blank: the segment before decides).
bool BraceOpensBody(const std::string& text, const std::vector<STATEMENTSEGMENT>& segments) {
  if (IsBlankText(text)) return !segments.empty() && AwaitsBody(segments.back());
  return AwaitsBody(text);
}

class SegmentCutter {
 public:
  SegmentCutter(std::vector<STATEMENTSEGMENT>* segments) : segments_(segments) {}
  COMPILEFAULT CutLine(const std::string& line, int lineIndex);

 private:
  COMPILEFAULT CutFor(const std::string& line, size_t* position);
  COMPILEFAULT CutForBody(const std::string& line, size_t* position, STATEMENTSEGMENT header);
  COMPILEFAULT Add(const std::string& text, char terminator, const std::string& line, size_t after);

  std::vector<STATEMENTSEGMENT>* segments_;
  int line_ = 0;
  int depth_ = 0;  // braces open
};

COMPILEFAULT SegmentCutter::Add(const std::string& text, char terminator, const std::string& line, size_t after) {
  if (IsBlankText(text) && terminator != '{' && terminator != '}') return {};
  if (terminator == '{' && !BraceOpensBody(text, *segments_)) return Fault(kBraceAfterStatement);
  STATEMENTSEGMENT segment;
  segment.text = text;
  segment.terminator = terminator;
  segment.line = line_;
  if (terminator == '{') ++depth_;
  if (terminator == '}') {
    if (--depth_ < 0) return Fault("Error: mismatched braces.");
    const char* rest = SkipBlanks(line.c_str() + after);
    segment.braceNotLast = *rest != '\0';
    segment.braceBeforeBrace = *rest == '}';
  }
  segments_->push_back(segment);
  return {};
}

COMPILEFAULT SegmentCutter::CutLine(const std::string& line, int lineIndex) {
  line_ = lineIndex;
  size_t position = 0;
  while (position < line.size()) {
    size_t open = 0;
    std::string keyword;
    std::string rest = line.substr(position);
    if (OpensWithHeader(rest, &open, &keyword) && EqualNoCase(keyword, "for")) {
      COMPILEFAULT fault = CutFor(line, &position);
      if (fault) return fault;
      continue;
    }
    size_t end = FindOutsideQuotes(line, position, ";{}");
    if (end == std::string::npos) return Add(rest, '\0', line, line.size());
    COMPILEFAULT fault = Add(line.substr(position, end - position), line[end], line, end + 1);
    if (fault) return fault;
    position = end + 1;
  }
  return {};
}

// "for (init; condition; step)" from *position: the init segment, the header
// segment with the step, and what follows the header on its line.
COMPILEFAULT SegmentCutter::CutFor(const std::string& line, size_t* position) {
  size_t open = line.find('(', *position);
  size_t semicolons[2] = {0, 0};
  int count = 0;
  bool quoted = false;
  size_t close = std::string::npos;
  int parentheses = 0;
  for (size_t i = open; i < line.size(); ++i) {
    char ch = line[i];
    if (ch == '"') quoted = !quoted;
    if (quoted) continue;
    if (ch == '{' || ch == '}') return Fault(kForBraces);
    if (ch == ';') {
      if (count == 2) return Fault(kForSemicolons);
      semicolons[count++] = i;
    }
    if (ch == '(') ++parentheses;
    if (ch == ')' && --parentheses == 0) {
      close = i;
      break;
    }
  }
  if (close == std::string::npos) return Fault(kForParentheses);
  if (count != 2) return Fault(kForSemicolons);
  std::string init = line.substr(open + 1, semicolons[0] - open - 1);
  std::string condition = line.substr(semicolons[0] + 1, semicolons[1] - semicolons[0] - 1);
  if (!IsBlankText(init)) {
    STATEMENTSEGMENT segment;
    segment.text = init;
    segment.terminator = ';';
    segment.line = line_;
    segments_->push_back(segment);
  }
  if (IsBlankText(condition)) return Fault(kForEmptyCondition);
  STATEMENTSEGMENT header;
  header.text = condition;
  header.forHeader = true;
  header.forStep = line.substr(semicolons[1] + 1, close - semicolons[1] - 1);
  header.line = line_;
  *position = close + 1;
  return CutForBody(line, position, header);
}

COMPILEFAULT SegmentCutter::CutForBody(const std::string& line, size_t* position, STATEMENTSEGMENT header) {
  const char* rest = SkipBlanks(line.c_str() + *position);
  if (*rest == '}') return Fault(kForThenBrace);
  if (*rest == '{') {
    header.terminator = '{';
    ++depth_;
    segments_->push_back(header);
    *position = static_cast<size_t>(rest - line.c_str()) + 1;
    return {};
  }
  if (*rest == '\0') {
    segments_->push_back(header);
    *position = line.size();
    return {};
  }
  // A one-statement body on the header's line, given braces.
  size_t open = 0;
  std::string keyword;
  if (OpensWithHeader(rest, &open, &keyword)) return Fault(kForBodyKeyword);
  size_t start = static_cast<size_t>(rest - line.c_str());
  size_t end = FindOutsideQuotes(line, start, ";{}");
  if (end != std::string::npos && line[end] == '{') return Fault(kBraceAfterStatement);
  header.terminator = '{';
  segments_->push_back(header);
  STATEMENTSEGMENT body;
  body.text = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
  body.terminator = ';';
  body.line = line_;
  segments_->push_back(body);
  STATEMENTSEGMENT closing;
  closing.terminator = '}';
  closing.line = line_;
  segments_->push_back(closing);
  *position = end == std::string::npos ? line.size() : (line[end] == ';' ? end + 1 : end);
  return {};
}

}  // namespace

bool OpensWithHeader(const std::string& text, size_t* open, std::string* keyword) {
  const char* start = SkipBlanks(text.c_str());
  for (const char* word : {"if", "while", "for"}) {
    size_t n = std::strlen(word);
    if (!EqualNoCaseN(start, word, n)) continue;
    const char* after = SkipBlanks(start + n);
    if (*after != '(') continue;
    *open = static_cast<size_t>(after - text.c_str());
    *keyword = word;
    return true;
  }
  return false;
}

bool OpensWithElse(const std::string& text) {
  const char* start = SkipBlanks(text.c_str());
  if (!EqualNoCaseN(start, "else", 4)) return false;
  char behind = start[4];
  return behind == '\0' || IsBlank(behind) || behind == '{';
}

size_t ClosingParenthesis(const std::string& text, size_t open) {
  int depth = 0;
  bool quoted = false;
  for (size_t i = open; i < text.size(); ++i) {
    if (text[i] == '"') quoted = !quoted;
    if (quoted) continue;
    if (text[i] == '(') ++depth;
    if (text[i] == ')' && --depth == 0) return i;
  }
  return std::string::npos;
}

COMPILEFAULT CutStatementSegments(const std::string& text, int firstLine, std::vector<STATEMENTSEGMENT>* segments,
                                  int* faultLine) {
  SegmentCutter cutter(segments);
  std::vector<std::string> lines = TextLines(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    COMPILEFAULT fault = cutter.CutLine(WithoutComment(lines[i]), firstLine + static_cast<int>(i));
    if (fault) {
      *faultLine = firstLine + static_cast<int>(i);
      return fault;
    }
  }
  return {};
}
