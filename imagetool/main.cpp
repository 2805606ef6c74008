// imagor: lists and rewrites 32-bit executable images.
#include <cstdio>
#include <string>
#include <vector>

#include "imagetool/Imagor.h"

int main(int argc, char** argv) {
  // Listings of large images are many short lines: buffer them fully.
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  std::vector<std::string> args(argv, argv + argc);
  TFileSink out(stdout), err(stderr);
  return RunImagor(args, out, err);
}
