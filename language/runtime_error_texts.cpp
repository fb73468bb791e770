// The texts of runtime errors: a header that names the failed array or
// built-in (and the program, when the error happened in another program than
// the running one), one blank and a detail that explains the sub-code.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/programinfo.h"
#include "language/compiler.h"
#include "language/messages.h"

namespace {

constexpr int kTextCapacity = kDiagnosticLength + 1;

// Where a detail text comes from: a numbered message (formatted with the
// sub-code when asked) or a text of its own.
struct ERRORDETAIL {
  int firstCode;          // built-in codes firstCode..lastCode
  int lastCode;
  int firstSubCode;       // sub-codes firstSubCode..lastSubCode
  int lastSubCode;
  int firstMessage;       // the message of firstSubCode; the next ones follow in order (0: `text`)
  bool withSubCode;       // one message for all, formatted with the sub-code
  const char* text;       // a detail without a number
};

// The details of the built-in errors, by built-in and sub-code.
constexpr ERRORDETAIL kBuiltinDetails[] = {
    {71, 71, 1, 1, 2744, false, nullptr},    // Invert: not doubles
    {71, 71, 2, 2, 2745, false, nullptr},    //         not square
    {71, 71, 3, 3, 2814, false, nullptr},    //         no memory
    {73, 73, 1, 1, 2747, false, nullptr},    // Size2: not an array address
    {74, 79, 1, 7, 2802, false, nullptr},    // integration: the driver's codes 1..6, limit too large
    {74, 79, 8, 8, 2809, false, nullptr},    //              too many Chebyshev moments
    {74, 79, 9, 9, 2814, false, nullptr},    //              no memory
    {74, 79, 10, 10, 2818, false, nullptr},  //              floating-point exception
    {81, 81, 1, 1, 2798, false, nullptr},    // Sum2: zero step
    {80, 82, 2, 2, 0, false, "(the variable stops advancing: adding the step leaves it unchanged)."},
    {80, 82, 3, 3, 0, false, "(a bound or the step is not a finite number)."},
    {83, 84, 1, 4, 2881, false, nullptr},  // Root, Root2: the zero finder's codes 1..4
    {86, 87, 1, 1, 2908, false, nullptr},  // Find, Find2: not floating-point
    {88, 89, 1, 2, 2892, true, nullptr},   // Hist, Hist2: array 1 or 2 not floating-point
    {88, 89, 3, 3, 0, false,
     "(elements of array No. 3 are not 64-bit floating point numbers or 32-bit integer numbers)."},
    {88, 89, 4, 4, 2893, false, nullptr},  //             edges not ascending
    {90, 91, 1, 1, 0, false, "(there is no file open for reading)."},
    {90, 91, 2, 2, 0, false, "(the file holds data that are not numbers)."},
    {93, 93, 1, 1, 0, false, "(the data type of array No. 2 must be 4-byte signed integer)."},
    {93, 93, 2, 2, 0, false,
     "(the number of elements in array No. 2 is less than the number of elements in array No. 1)."},
};

// The details of the array errors, by sub-code 1..3.
constexpr int kArrayDetailMessages[] = {2717, 2718, 2741};

void FormatNumbered(char* out, int number, const char* a, const char* b = nullptr) {
  char format[2000];
  GetMessageText(number, format, sizeof format);
  std::snprintf(out, kTextCapacity, format, a, b);
}

void BuiltinDetail(int code, int subCode, char* detail) {
  detail[0] = '\0';
  for (const ERRORDETAIL& entry : kBuiltinDetails) {
    if (code < entry.firstCode || code > entry.lastCode) continue;
    if (subCode < entry.firstSubCode || subCode > entry.lastSubCode) continue;
    if (entry.text != nullptr) {
      std::snprintf(detail, kTextCapacity, "%s", entry.text);
      return;
    }
    char format[2000];
    if (entry.withSubCode) {  // one message for the range, naming the sub-code
      GetMessageText(entry.firstMessage, format, sizeof format);
      std::snprintf(detail, kTextCapacity, format, subCode);
    } else {                  // consecutive messages for consecutive sub-codes
      GetMessageText(entry.firstMessage + subCode - entry.firstSubCode, format, sizeof format);
      std::snprintf(detail, kTextCapacity, "%s", format);
    }
    return;
  }
}

// header + " " + detail, cut to the destination's capacity.
void JoinHeaderAndDetail(const char* header, const char* detail, char* destination) {
  std::string text = std::string(header) + " " + detail;
  size_t length = text.size() < kTextCapacity - 1 ? text.size() : kTextCapacity - 1;
  std::memcpy(destination, text.data(), length);
  destination[length] = '\0';
}

}  // namespace

void Compiler::ArrayErrorText(int errorProgram, int runningProgram, int arrayNumber, int subCode,
                              char* destination) {
  const char* arrayName = arrayNumber >= 1 && arrayNumber <= ArrayCount() ? arrays[arrayNumber - 1].name : "";
  char header[kTextCapacity];
  bool inOtherProgram = errorProgram >= 0 && errorProgram != runningProgram && errorProgram < ProgramCount();
  if (inOtherProgram) {
    FormatNumbered(header, 2657, programs[errorProgram]->info.name, arrayName);
  } else {
    FormatNumbered(header, 2656, arrayName);
  }
  char detail[kTextCapacity] = "";
  int details = static_cast<int>(sizeof kArrayDetailMessages / sizeof kArrayDetailMessages[0]);
  if (subCode >= 1 && subCode <= details) GetMessageText(kArrayDetailMessages[subCode - 1], detail, sizeof detail);
  JoinHeaderAndDetail(header, detail, destination);
}

void Compiler::BuiltinErrorText(int builtinNumber, char* destination, int errorProgram, int runningProgram,
                                int subCode) {
  int code = builtinNumber - 1;
  const char* builtinName = code >= 0 && code < kBuiltinCount ? builtinNames[code] : "";
  char header[kTextCapacity];
  bool inOtherProgram = errorProgram >= 0 && errorProgram != runningProgram && errorProgram < ProgramCount();
  if (inOtherProgram) {
    FormatNumbered(header, 2743, programs[errorProgram]->info.name, builtinName);
  } else {
    FormatNumbered(header, 2742, builtinName);
  }
  char detail[kTextCapacity];
  BuiltinDetail(code, subCode, detail);
  JoinHeaderAndDetail(header, detail, destination);
}
