// One statement of a program block into instructions: an assignment (a
// variable or an array element, "=", an expression) or an expression alone,
// and the conditions of "if", "while" and "for". The statement is checked as
// a whole (assignment operators, its first and last characters, the target
// of an assignment), cut into tokens, put into postfix order and emitted.
#pragma once

#include <string>

#include "language/compile_context.h"

enum class StatementRole {
  kStatement,  // an assignment or an expression
  kCondition,  // the condition of a block: an expression whose last instruction computes it
};

// Compiles the statement on context.line. *assigns tells whether it assigned
// a variable.
COMPILEFAULT CompileStatementText(CompileContext& context, const std::string& text, StatementRole role, bool* assigns);

// Positions of the assignment operators of a text: each "=" outside double
// quotes that does not belong to "==", ">=", "<=" or "!=".
std::vector<size_t> AssignmentOperators(const std::string& text);

// Message of a program that has more blocks than its record can count.
std::string TooManyBlocksMessage();
