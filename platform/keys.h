// Console keys. When standard input is a terminal, key mode switches it to
// non-canonical, no-echo input so that single key presses can be tested
// without blocking; the terminal is restored at exit and on signals. When
// standard input is not a terminal no key is ever pressed. Tests inject keys.
#pragma once

constexpr int kEscapeKey = 27;

// Enters key mode (once; later calls do nothing).
void BeginKeyMode();
// Restores the terminal.
void EndKeyMode();
// Gives the terminal back as it was before key mode while another program
// (a command of the user program) uses it, and takes key mode up again
// afterwards. Nothing happens when key mode is not active.
void SuspendKeyMode();
void ResumeKeyMode();
// True when a key is waiting.
bool KeyPressed();
// Takes the next waiting key; -1 when none.
int ReadKey();
// Queues keys for KeyPressed/ReadKey, as if typed (tests).
void InjectKeys(const char* keys);
