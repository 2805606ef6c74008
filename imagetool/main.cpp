// imagor: lists and rewrites 32-bit executable images.
#include <fcntl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "imagetool/Imagor.h"

namespace {

// A standard stream whose descriptor is closed drops its output instead of failing.
FILE* streamIfOpen(FILE* stream) { return ::fcntl(::fileno(stream), F_GETFD) == -1 ? nullptr : stream; }

}  // namespace

int main(int argc, char** argv) {
  // Listings of large images are many short lines: buffer them fully.
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  std::vector<std::string> args(argv, argv + argc);
  TFileSink out(streamIfOpen(stdout)), err(streamIfOpen(stderr));
  return RunImagor(args, out, err);
}
