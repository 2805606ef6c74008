// Feeds arbitrary bytes to the image model, every listing in every form, and
// every rewriting step; a rewritten image is opened and listed again.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imagetool/ImageRewrite.h"
#include "imagetool/Listings.h"
#include "imagetool/ResourceTree.h"
#include "imagetool/UPeFile.h"

namespace {

void listAll(const ExeImage& image) {
  TStringSink out, err;
  TConsole console(out, err);
  // Plain and sorted by name; INI with addresses, sorted by ordinal; raw, sorted by address.
  for (int form = 0; form < 3; ++form) {
    TImagorOptions options;
    options.ini = form == 1;
    options.dump = form == 1;
    options.raw = form == 2;
    options.sort = TExportSort(form);
    TImageLister lister(image, options, console);
    if (form < 2) {
      try { lister.ListHeader(); } catch (const Exception&) {}
    }
    try { lister.ListImports(); } catch (const Exception&) {}
    try { lister.ListExports(); } catch (const Exception&) {}
  }
  if (auto resources = image.ResourceDirectory()) {
    try { CollectResourceDataEntries(image, *resources); } catch (const Exception&) {}
  }
}

void rewriteAndList(const std::vector<uint8_t>& bytes, int step) {
  int error = 0;
  auto image = ExeImage::OpenImageInMemory(bytes, error);
  if (!image) return;
  TStringSink out, err;
  TConsole console(out, err);
  TRewriteOutput output{console, step % 2 == 0, true};
  try {
    switch (step) {
      case 0: Rebase(*image, image->ImageBase() + 0x10000, output); break;
      case 1: Rebase(*image, 0x12345678, output); break;
      case 2: StripRelocations(*image, output); break;
      case 3: StripResources(*image, output); break;
      case 4: LoseWeight(*image, output); break;
      case 5:
        // All steps in the program's order, each working on what the one before left,
        // stopping like the program when a failed step had begun to change the image.
        if (!Rebase(*image, image->ImageBase() + 0x10000, output) && image->changing) break;
        if (!StripRelocations(*image, output) && image->changing) break;
        if (!StripResources(*image, output) && image->changing) break;
        LoseWeight(*image, output);
        break;
    }
  } catch (const Exception&) {
  }
  if (image->CloseImage() != 0) return;
  auto again = ExeImage::OpenImageInMemory(image->MemoryBytes(), error);
  if (again) listAll(*again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  int error = 0;
  auto image = ExeImage::OpenImageInMemory(bytes, error);
  if (!image) return 0;
  listAll(*image);
  for (int step = 0; step < 6; ++step) rewriteAndList(bytes, step);
  return 0;
}
