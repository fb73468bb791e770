// Commands run through the system's shell on behalf of a user program.
#pragma once

// Runs the command with the shell and waits for it. Returns the command's
// exit status (0..255), or -1 when no shell could run it or the command did
// not end by itself (it was killed by a signal).
int RunShellCommand(const char* command);
