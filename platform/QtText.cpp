#include "platform/QtText.h"

#include "platform/CodePage.h"

QString ToQString(std::string_view text) {
  QString result(static_cast<qsizetype>(text.size()), Qt::Uninitialized);
  AnsiCodePage().ToUtf16(text, reinterpret_cast<char16_t*>(result.data()));
  return result;
}

std::string FromQString(const QString& text) {
  return AnsiCodePage().FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size())));
}
