// Settings files: bad input raises ERegistryError; good input survives a
// write and a second read unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/RegistryFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<TRegNode> tree;
  try {
    tree = ParseRegistryText(text, "fuzz.reg");
  } catch (const ERegistryError&) {
    return 0;
  }
  std::string written = SerializeRegistry(*tree);
  auto again = ParseRegistryText(written, "fuzz.reg");
  if (SerializeRegistry(*again) != written) std::abort();
  return 0;
}
