// The program side of the hand-shake with the input reader: text that a user
// program writes in directive mode is gathered into whole lines; each
// complete line is handed to the reader, and the program waits until the
// reader has taken it, so that exactly one line is in flight.
#include <cstring>
#include <string>

#include "language/compiler.h"
#include "platform/threads.h"

void Compiler::WriteDirectiveOutput(const char* text, int sourceLine) {
  int program = programInProgress.load(std::memory_order_acquire);
  if (program < 0 || program >= ProgramCount()) return;
  PROGRAMRECORD& record = *programs[program];
  while (*text != '\0') {
    if (lastLineComplete.load(std::memory_order_acquire)) {
      record.outputLines.Add("");
      record.outputLineSources.SetAt(record.outputLineSources.GetCount(), sourceLine);
      lastLineComplete.store(0, std::memory_order_release);
    }
    const char* newline = std::strchr(text, '\n');
    size_t length = newline ? static_cast<size_t>(newline - text) + 1 : std::strlen(text);
    std::string piece(text, length);
    record.outputLines[record.outputLines.GetCount() - 1] += piece.c_str();
    text += length;
    if (newline == nullptr) break;
    lastLineComplete.store(1, std::memory_order_release);
    lineReady.store(1, std::memory_order_release);
    handshake.Notify();
    // Exactly one line is in flight; an interrupt request gives up the wait
    // (the interpreter stops before its next instruction). The wait sleeps
    // until the reader's call; the time limit only bounds a missed one.
    for (;;) {
      const uint32_t seen = handshake.Sequence();
      if (acknowledged.load(std::memory_order_acquire)) break;
      if (runControl->interruptRequest.load(std::memory_order_acquire)) return;
      handshake.Wait(seen, kHandshakeWaitMicroseconds);
    }
    acknowledged.store(0, std::memory_order_release);
  }
}
