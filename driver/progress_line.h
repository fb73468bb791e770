// A progress line of the set-up: shown at most once a second, overwritten in
// place (ended by '\r', padded over a longer previous text) and blanked when
// its phase ends.
#pragma once

#include <cstdio>
#include <string>

#include "platform/clock.h"

struct PROGRESSLINE {
  double last = SecondsSinceStart();
  size_t length = 0;

  void Show(const char* text) {
    const double now = SecondsSinceStart();
    if (now - last <= 1.0) return;
    std::string line = text;
    if (line.size() < length) line.append(length - line.size(), ' ');
    length = line.size();
    std::printf("%s\r", line.c_str());
    std::fflush(stdout);
    last = now;
  }
  void Blank() {
    if (length > 0) std::printf("%s\r", std::string(length, ' ').c_str());
    length = 0;
  }
};
