#include "driver/input/option_rules.h"

#include <cstdio>

#include "driver/input/value_forms.h"

namespace {

bool ReadForm(const char* value, int64_t* n) { return ReadWholeInteger(value, n); }
bool ReadForm(const char* value, double* v) { return ReadWholeNumber(value, v); }

void PrintRangeMessage(const OPTIONRULE& rule, int64_t n) {
  switch (rule.rangeArguments) {
    case kRangeLongAndLimit:
      printf(rule.badRange, static_cast<long long>(n), rule.limit);
      return;
    case kRangeIntAndLimit:
      printf(rule.badRange, static_cast<int>(n), rule.limit);
      return;
    case kRangeNumber:
      printf(rule.badRange, static_cast<double>(n));
      return;
    case kRangeNoArguments:
      printf("%s", rule.badRange);
      return;
  }
}

void PrintRangeMessage(const OPTIONRULE& rule, double v) {
  if (rule.rangeArguments == kRangeNumber) {
    printf(rule.badRange, v);
  } else {
    printf("%s", rule.badRange);
  }
}

// The missing / bad-form / bad-range shape.
template <typename T>
Status ReadOption(const char* value, const OPTIONRULE& rule, T* read) {
  if (value == nullptr) {
    printf("%s", rule.missing);
    return kInputError;
  }
  const bool formed = ReadForm(value, read);
  if (formed && rule.inRange(static_cast<double>(*read))) return kOk;
  if (!formed || rule.badRange == nullptr) {
    printf(rule.badForm, value);
  } else {
    PrintRangeMessage(rule, *read);
  }
  return kInputError;
}

}  // namespace

Status ReadIntegerOption(const char* value, const OPTIONRULE& rule, int64_t* number) {
  return ReadOption(value, rule, number);
}

Status ReadIntegerOption(const char* value, const OPTIONRULE& rule, int32_t* option, int64_t storedOffset) {
  int64_t n = 0;
  if (Status status = ReadOption(value, rule, &n)) return status;
  *option = static_cast<int32_t>(n + storedOffset);
  return kOk;
}

Status ReadNumberOption(const char* value, const OPTIONRULE& rule, double* option) {
  double v = 0.0;
  if (Status status = ReadOption(value, rule, &v)) return status;
  *option = v;
  return kOk;
}
