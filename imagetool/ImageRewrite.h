#pragma once
// Rewriting an image in place: rebasing, stripping relocations or resources,
// and trimming the zero-filled tail of the code section ("weight loss").
// Each step answers false with the image error set; a step that fails before
// it marks the image as changing has left the image untouched.
#include <cstdint>

#include "imagetool/ConsoleOutput.h"
#include "imagetool/UPeFile.h"

struct TRewriteOutput {
  TConsole& console;
  bool ini = false;
  bool dumpRelocs = false;
};

bool Rebase(ExeImage& image, uint32_t newBase, TRewriteOutput& out);
bool StripRelocations(ExeImage& image, TRewriteOutput& out);
bool StripResources(ExeImage& image, TRewriteOutput& out);
bool LoseWeight(ExeImage& image, TRewriteOutput& out);
