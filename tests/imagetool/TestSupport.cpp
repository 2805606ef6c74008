#include "TestSupport.h"

#include <stdlib.h>

#include <sstream>

#include "imagetool/ConsoleOutput.h"
#include "imagetool/Imagor.h"

namespace fs = std::filesystem;

std::string CopyFixture(const TTempDir& dir, const std::string& fixture) {
  std::string target = dir / fixture;
  fs::copy_file(FixturePath(fixture), target, fs::copy_options::overwrite_existing);
  fs::permissions(target, fs::perms::owner_write, fs::perm_options::add);
  return target;
}

std::string FixturePath(const std::string& name) { return std::string(QUILL_FIXTURES_DIR) + "/imagetool/" + name; }

TRunResult RunTool(const std::vector<std::string>& params) {
  std::vector<std::string> args{"imagor"};
  args.insert(args.end(), params.begin(), params.end());
  TStringSink out, err;
  TRunResult result;
  result.exitCode = RunImagor(args, out, err);
  result.out = out.Text();
  result.err = err.Text();
  return result;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}
