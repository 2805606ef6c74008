#pragma once
// Temporary folders, fixture paths and in-process runs of the image tool.
#include <filesystem>
#include <string>
#include <vector>

#include "TestImage.h"
#include "tests/common/TestFiles.h"

// Copies a committed fixture image into the folder; answers the copy's name.
std::string CopyFixture(const TTempDir& dir, const std::string& fixture);

std::string FixturePath(const std::string& name);

struct TRunResult {
  int exitCode = 0;
  std::string out;
  std::string err;
};

// Runs the tool with the given parameters (the program name is added).
TRunResult RunTool(const std::vector<std::string>& params);

// The lines of a text without their LF ends.
std::vector<std::string> Lines(const std::string& text);
