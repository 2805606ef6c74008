#include "view/ViewStrings.h"

#include <climits>

#include "view/CustomScrivel.h"

TViewStrings::~TViewStrings() {
  if (view_) view_->ForgetStringsAdapter(this);
}

int TViewStrings::Count() const {
  if (!view_) return 0;
  const int64_t n = view_->DisplayLineCount();
  return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

std::string TViewStrings::Get(int index) const {
  std::string text;
  if (!view_ || index < 0 || !view_->GetDisplayLine(index, text)) text.clear();
  return text;
}
