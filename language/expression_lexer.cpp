#include "language/expression_lexer.h"

#include <cstring>

#include "core/text.h"
#include "language/decimal_scanner.h"

namespace {

constexpr const char* kNameEnds = "+-/*^=><&|!,()[]";
constexpr const char* kNumberFollowers = "+-/*^=<>&|,()[]!";
constexpr const char* kMisplacedSeparators = ".?;:{}\\'\"";  // can stand in no name

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

TOKEN OperatorToken(int code) {
  TOKEN token;
  token.type = TokenType::kOperator;
  token.op = code;
  return token;
}

TOKEN SimpleToken(TokenType type) {
  TOKEN token;
  token.type = type;
  return token;
}

TOKEN NumberToken(double value) {
  TOKEN token;
  token.type = TokenType::kNumber;
  token.value = value;
  return token;
}

// The operator at text[*p]: its code, advancing *p; -1 for a lone '!'.
int ReadOperator(const std::string& text, size_t* p) {
  char ch = text[*p];
  char next = *p + 1 < text.size() ? text[*p + 1] : '\0';
  int code = -1;
  size_t length = 1;
  switch (ch) {
    case '+':
      code = kAdd;
      break;
    case '-':
      code = kSubtract;
      break;
    case '/':
      code = kDivide;
      break;
    case '*':
      code = kMultiply;
      break;
    case '^':
      code = kPower;
      break;
    case '&':
      code = kAnd;
      break;
    case '|':
      code = kOr;
      break;
    case '=':
      code = next == '=' ? kEqual : kAssign;
      break;
    case '>':
      code = next == '=' ? kGreaterEqual : kGreater;
      break;
    case '<':
      code = next == '=' ? kLessEqual : next == '>' ? kNotEqual : kLess;
      break;
    case '!':
      code = next == '=' ? kNotEqual : -1;
      break;
    default:
      break;
  }
  if (code >= kGreaterEqual && code <= kNotEqual) length = 2;
  *p += length;
  return code;
}

// A literal from the '"' at *p; "" inside stands for one '"'.
bool ReadLiteral(const std::string& text, size_t* p, std::string* literal) {
  size_t i = *p + 1;
  for (;;) {
    if (i >= text.size()) return false;
    if (text[i] != '"') {
      *literal += text[i++];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '"') {
      *literal += '"';
      i += 2;
      continue;
    }
    *p = i + 1;
    return true;
  }
}

// A number at *p when the decimal scanner reads one there and the end or an
// operator, parenthesis, bracket or comma follows it.
bool ReadNumber(const std::string& text, size_t* p, double* value) {
  double number = 0;
  size_t length = 0;
  if (!ReadDecimal(text.c_str() + *p, kBareDecimal, &number, &length)) return false;
  const char* behind = SkipBlanks(text.c_str() + *p + length);
  if (*behind != '\0' && std::strchr(kNumberFollowers, *behind) == nullptr) return false;
  *value = number;
  *p += length;
  return true;
}

// The fault of a name's spelling, if any: a separator that stands in no
// name, '%', or a digit or blank run into it.
COMPILEFAULT NameFault(const std::string& name) {
  for (char ch : name) {
    if (ch == '%') return Fault(NumberedMessage(2400, ch));
    if (std::strchr(kMisplacedSeparators, ch) != nullptr) return Fault(NumberedMessage(2906, ch));
  }
  bool blankInside = name.find_first_of(" \t") != std::string::npos;
  if (IsDigit(name[0]) || blankInside) {
    return Fault(NumberedMessage(2401, name[0], CutName(name.substr(1)).c_str()));
  }
  return {};
}

// A number, or else a name, at *p.
COMPILEFAULT ReadOperand(const std::string& text, size_t* p, std::vector<TOKEN>* tokens) {
  double value = 0;
  char ch = text[*p];
  if ((IsDigit(ch) || ch == '.') && ReadNumber(text, p, &value)) {
    tokens->push_back(NumberToken(value));
    return {};
  }
  size_t end = text.find_first_of(kNameEnds, *p);
  if (end == std::string::npos) end = text.size();
  TOKEN name = SimpleToken(TokenType::kName);
  name.text = TrimmedRight(text.substr(*p, end - *p));
  COMPILEFAULT fault = NameFault(name.text);
  if (fault) return fault;
  tokens->push_back(name);
  *p = end;
  return {};
}

}  // namespace

int OperatorPriority(int code) {
  static const int kPriorities[] = {5, 5, 6, 6, 7, 1, 4, 4, 4, 4, 4, 4, 3, 2};
  return code >= 0 && code <= kOr ? kPriorities[code] : 0;
}

bool IsBinaryOperator(int code) { return code >= kAdd && code <= kOr && code != kAssign; }

COMPILEFAULT Tokenize(const std::string& text, std::vector<TOKEN>* tokens) {
  size_t p = 0;
  while (p < text.size()) {
    char ch = text[p];
    if (IsBlank(ch)) {
      ++p;
    } else if (ch == '"') {
      TOKEN literal = SimpleToken(TokenType::kString);
      if (!ReadLiteral(text, &p, &literal.text)) return Fault("Error: Missing closing double quote");
      tokens->push_back(literal);
    } else if (std::strchr("+-*/^=<>&|!", ch) != nullptr) {
      int code = ReadOperator(text, &p);
      if (code < 0) return Fault(NumberedMessage(2391));
      tokens->push_back(OperatorToken(code));
    } else if (std::strchr("()[],", ch) != nullptr) {
      static const TokenType kTypes[] = {TokenType::kOpenParen, TokenType::kCloseParen, TokenType::kOpenBracket,
                                         TokenType::kCloseBracket, TokenType::kComma};
      tokens->push_back(SimpleToken(kTypes[std::strchr("()[],", ch) - "()[],"]));
      ++p;
    } else {
      COMPILEFAULT fault = ReadOperand(text, &p, tokens);
      if (fault) return fault;
    }
  }
  return {};
}

// ---------------------------------------------------------------- unary signs

namespace {

bool IsOpening(TokenType type) { return type == TokenType::kOpenParen || type == TokenType::kOpenBracket; }
bool IsClosing(TokenType type) { return type == TokenType::kCloseParen || type == TokenType::kCloseBracket; }

// The index of the token that closes the group opened at `open`, or npos.
size_t GroupEnd(const std::vector<TOKEN>& tokens, size_t open) {
  int depth = 0;
  for (size_t i = open; i < tokens.size(); ++i) {
    if (IsOpening(tokens[i].type)) ++depth;
    if (IsClosing(tokens[i].type) && --depth == 0) return i;
  }
  return std::string::npos;
}

// The last token of the operand that starts at i, or npos.
size_t OperandEnd(const std::vector<TOKEN>& tokens, size_t i) {
  if (i >= tokens.size()) return std::string::npos;
  switch (tokens[i].type) {
    case TokenType::kNumber:
      return i;
    case TokenType::kOpenParen:
      return GroupEnd(tokens, i);
    case TokenType::kName:
      if (i + 1 < tokens.size() && IsOpening(tokens[i + 1].type)) return GroupEnd(tokens, i + 1);
      return i;
    default:
      return std::string::npos;
  }
}

bool OpensExpression(const TOKEN* previous) {
  if (previous == nullptr) return true;
  switch (previous->type) {
    case TokenType::kOperator:
      return previous->op != kMultiply && previous->op != kDivide && previous->op != kPower;
    case TokenType::kComma:
    case TokenType::kOpenParen:
    case TokenType::kOpenBracket:
    case TokenType::kString:
      return true;
    default:
      return false;
  }
}

bool IsSign(const TOKEN& token) {
  return token.type == TokenType::kOperator && (token.op == kAdd || token.op == kSubtract);
}

}  // namespace

void RewriteUnarySigns(std::vector<TOKEN>* tokens) {
  for (size_t i = 0; i < tokens->size(); ++i) {
    if (!IsSign((*tokens)[i])) continue;
    const TOKEN* previous = i > 0 ? &(*tokens)[i - 1] : nullptr;
    if (OpensExpression(previous)) {
      tokens->insert(tokens->begin() + static_cast<long>(i), NumberToken(0));
      ++i;
      continue;
    }
    if (previous->type != TokenType::kOperator) continue;  // a binary sign
    size_t end = OperandEnd(*tokens, i + 1);
    if (end == std::string::npos) continue;
    tokens->insert(tokens->begin() + static_cast<long>(end) + 1, SimpleToken(TokenType::kCloseParen));
    tokens->insert(tokens->begin() + static_cast<long>(i), NumberToken(0));
    tokens->insert(tokens->begin() + static_cast<long>(i), SimpleToken(TokenType::kOpenParen));
    i += 2;
  }
}

void EnsureInstruction(std::vector<TOKEN>* tokens) {
  for (size_t i = 0; i < tokens->size(); ++i) {
    const TOKEN& token = (*tokens)[i];
    if (token.type == TokenType::kOperator) return;
    bool followed = i + 1 < tokens->size() && IsOpening((*tokens)[i + 1].type);
    if (token.type == TokenType::kName && followed) return;
  }
  tokens->insert(tokens->begin(), OperatorToken(kAdd));
  tokens->insert(tokens->begin(), NumberToken(0));
}
