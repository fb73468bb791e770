#include "platform/process.h"

#include <sys/wait.h>

#include <cstdlib>

int RunShellCommand(const char* command) {
  int status = std::system(command);
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}
