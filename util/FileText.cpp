#include "util/FileText.h"

#include "platform/Streams.h"

std::string StrLoadFile(const std::string& fileName) {
  TMemoryStream m;
  m.LoadFromFile(fileName);
  return m.ToString();
}

void StrStoreFile(const std::string& fileName, std::string_view s) {
  TReplaceStream out(fileName);
  out.WriteBuffer(s.data(), static_cast<int64_t>(s.size()));
  out.Commit();
}
