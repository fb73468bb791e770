// The common shape of the numeric run options: a value that may be missing,
// may not be a number of the option's form, or may lie outside its range,
// each with its own message. An option is described by one OPTIONRULE
// record; one helper reads and checks the value and prints the message.
#pragma once

#include <cstdint>

#include "driver/status.h"

// What the range message prints after its text.
enum RangeArguments {
  kRangeNoArguments,   // the message alone
  kRangeLongAndLimit,  // the value (%lld), then the rule's limit (%d)
  kRangeIntAndLimit,   // the value as an int (%d), then the rule's limit (%d)
  kRangeNumber,        // the value (%g)
};

// The value is read as a whole integer (ReadIntegerOption) or a whole number
// (ReadNumberOption), value_forms.h.
struct OPTIONRULE {
  bool (*inRange)(double value) = nullptr;  // the accepted values
  const char* missing = "";                 // the value is missing (printed as it is)
  const char* badForm = "";                 // not a number of the form: one %s, the value text
  const char* badRange = nullptr;           // outside the range; null: badForm covers it too
  RangeArguments rangeArguments = kRangeNoArguments;
  int limit = 0;  // printed by the ...AndLimit range messages
};

// Reads value (null: missing) by the rule. On success stores it (an integer
// plus storedOffset) and returns kOk; else prints the rule's message and
// returns kInputError, the option unchanged.
Status ReadIntegerOption(const char* value, const OPTIONRULE& rule, int32_t* option, int64_t storedOffset = 0);
Status ReadIntegerOption(const char* value, const OPTIONRULE& rule, int64_t* number);
Status ReadNumberOption(const char* value, const OPTIONRULE& rule, double* option);
