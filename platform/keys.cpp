#include "platform/keys.h"

#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

std::mutex injectedMutex;
std::string injectedKeys;
std::atomic<bool> keyModeActive{false};
std::atomic<bool> keyModeSuspended{false};
termios savedTerminal;
termios keyTerminal;

void RestoreTerminal() {
  if (keyModeActive.exchange(false)) tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
}

void RestoreOnSignal(int signalNumber) {
  RestoreTerminal();
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

bool TerminalKeyWaiting() {
  if (!keyModeActive.load() || keyModeSuspended.load()) return false;
  pollfd input{STDIN_FILENO, POLLIN, 0};
  return poll(&input, 1, 0) > 0 && (input.revents & POLLIN) != 0;
}

}  // namespace

void BeginKeyMode() {
  if (keyModeActive.load() || !isatty(STDIN_FILENO)) return;
  if (tcgetattr(STDIN_FILENO, &savedTerminal) != 0) return;
  termios raw = savedTerminal;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return;
  keyTerminal = raw;
  keyModeActive.store(true);
  std::atexit(RestoreTerminal);
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) std::signal(signalNumber, RestoreOnSignal);
}

void EndKeyMode() { RestoreTerminal(); }

void SuspendKeyMode() {
  if (!keyModeActive.load() || keyModeSuspended.exchange(true)) return;
  tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
}

void ResumeKeyMode() {
  if (!keyModeSuspended.exchange(false) || !keyModeActive.load()) return;
  tcsetattr(STDIN_FILENO, TCSANOW, &keyTerminal);
}

bool KeyPressed() {
  {
    std::lock_guard<std::mutex> lock(injectedMutex);
    if (!injectedKeys.empty()) return true;
  }
  return TerminalKeyWaiting();
}

int ReadKey() {
  {
    std::lock_guard<std::mutex> lock(injectedMutex);
    if (!injectedKeys.empty()) {
      int key = static_cast<unsigned char>(injectedKeys[0]);
      injectedKeys.erase(0, 1);
      return key;
    }
  }
  if (!TerminalKeyWaiting()) return -1;
  unsigned char key = 0;
  return read(STDIN_FILENO, &key, 1) == 1 ? key : -1;
}

void InjectKeys(const char* keys) {
  std::lock_guard<std::mutex> lock(injectedMutex);
  injectedKeys += keys;
}
