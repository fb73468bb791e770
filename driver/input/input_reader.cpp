#include "driver/input/input_reader.h"

#include <cstring>
#include <string>

#include "core/text.h"
#include "driver/input/option_parsers.h"
#include "driver/input/options.h"
#include "driver/input/program_lines.h"
#include "language/compiler.h"

namespace input {
FILE* outputFile = nullptr;
int inputPass = 0;
int lastKeyword = -1;
bool lineDone = true;
int physicalLineCount = 0;
int inputExitCode = 0;
int directiveCount = 0;
char keywordCopy[kKeywordCopyLength + 1] = "";
int64_t directiveLinePosition = 0;
}  // namespace input

namespace {

// The current physical line. Words are cut out of it in place, so the
// pointers handed out stay valid until the next physical line is read.
std::string lineText;
size_t cursor = 0;
int fileLineNumber = 0;    // lines of the input file read in this pass
std::string fileLineText;  // the last of them, as read
bool newLineFlag = true;
char startToken[1] = {'\0'};

bool IsSeparator(char ch, const char* separators) { return ch != '\0' && std::strchr(separators, ch) != nullptr; }

bool OnlySeparatorsFrom(size_t position, const char* separators) {
  for (; position < lineText.size(); ++position) {
    if (!IsSeparator(lineText[position], separators)) return false;
  }
  return true;
}

// Cuts the next word out of the line; null at the end of the line.
char* NextToken(const char* separators) {
  while (cursor < lineText.size() && IsSeparator(lineText[cursor], separators)) ++cursor;
  if (cursor >= lineText.size()) return nullptr;
  size_t start = cursor;
  while (cursor < lineText.size() && !IsSeparator(lineText[cursor], separators)) ++cursor;
  if (cursor < lineText.size()) lineText[cursor++] = '\0';
  return &lineText[start];
}

bool AtEndOfInput(FILE* input) {
  int ch = fgetc(input);
  if (ch == EOF) return true;
  ungetc(ch, input);
  return false;
}

bool IsProgramBlockLine(const std::string& line) {
  const char* word = SkipBlanks(line.c_str());
  size_t length = std::strcspn(word, " \t");
  return IsProgramBlockKeyword(std::string(word, length).c_str());
}

// A line from the file: echoed into the output file in the second pass,
// logged in the first.
void EchoOrLogFileLine(const std::string& line, FILE* output) {
  if (output != nullptr) {
    fprintf(output, "%s\n", line.c_str());
    return;
  }
  if (IsProgramBlockLine(line)) return;
  if (input::logFile != nullptr) {
    fprintf(input::logFile, "%s\n", line.c_str());
  } else if (input::runOptions.writeLog) {
    input::pendingLogLine = line + "\n";
  }
}

// Takes the next physical line into lineText: from the running or finished
// user program, or from the file. Skips blank and comment-only lines.
// False when there is none (end of input, end of the program's lines).
bool ReadPhysicalLine(FILE* input, FILE* output, const char* separators) {
  for (;;) {
    PROGRAMLINE source = TakeProgramLine(input, &lineText);
    if (source == kProgramLineNone) return false;
    if (source == kNoProgramCurrent) {
      if (!ReadWholeLine(input, &lineText)) return false;
      ++fileLineNumber;
      fileLineText = lineText;
      // A NUL byte would end the line's text unseen: the file is no text.
      if (lineText.find('\0') != std::string::npos) {
        printf("Error: Line No. %d of the input file holds a NUL character (the file is not a text file).\n",
               fileLineNumber);
        input::inputExitCode = 1;
        return false;
      }
      EchoOrLogFileLine(lineText, output);
    }
    ++input::physicalLineCount;
    size_t comment = lineText.find("//");
    if (comment != std::string::npos) lineText.erase(comment);
    cursor = 0;
    if (!OnlySeparatorsFrom(0, separators)) return true;
    if (source == kNoProgramCurrent && AtEndOfInput(input)) return false;
  }
}

}  // namespace

bool ReadWholeLine(FILE* input, std::string* line) {
  line->clear();
  int ch;
  bool any = false;
  while ((ch = fgetc(input)) != EOF) {
    any = true;
    if (ch == '\n') break;
    line->push_back(static_cast<char>(ch));
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return any;
}

char* InputLineBuffer() { return startToken; }

int InputFileLineNumber() { return fileLineNumber; }

const std::string& InputFileLineText() { return fileLineText; }

void ResetInputReader() {
  input::physicalLineCount = 0;
  fileLineNumber = 0;
  fileLineText.clear();
  newLineFlag = true;
  lineText.clear();
  cursor = 0;
}

char* ReadInputLine(FILE* input, FILE* output, char* text, const char* separators) {
  if (text != nullptr) newLineFlag = true;
  for (;;) {
    if (!newLineFlag) {
      char* word = NextToken(separators);
      if (word != nullptr) {
        if (char* ampersand = std::strchr(word, '&')) {
          // A continuation: the logical line goes on on the next physical line.
          bool moreFollows = ampersand[1] != '\0' || !OnlySeparatorsFrom(cursor, separators);
          if (moreFollows && output != nullptr) {
            printf(
                "Warning: The line-continuation character '&' in line No. %d is not the last character of the line. "
                "The remainder of the line will be ignored.\n",
                input::physicalLineCount);
          }
          *ampersand = '\0';
          cursor = lineText.size();
          newLineFlag = true;
        }
        if (*word != '\0') return word;
      }
      if (!newLineFlag) {
        newLineFlag = true;
        return nullptr;
      }
    }
    newLineFlag = false;
    if (!ReadPhysicalLine(input, output, separators)) {
      newLineFlag = true;
      return nullptr;
    }
  }
}

char* NextWord() { return ReadInputLine(input::inputFile, input::outputFile, nullptr, kWordSeparators); }

char* RestOfLine() { return ReadInputLine(input::inputFile, input::outputFile, nullptr, kLineSeparators); }

void SkipRestOfLine() {
  while (NextWord() != nullptr) {
  }
}

void PrintOverrideNotice(const char* keyword) {
  printf("Keyword \"%s\" in the input file overridden by the corresponding command-line argument.\n", keyword);
}
