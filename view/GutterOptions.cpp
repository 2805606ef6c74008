#include "view/GutterOptions.h"

#include "view/CustomScrivel.h"

TGutterOptions::~TGutterOptions() {
  if (view_) view_->SetGutterWidth(0);
}

void TGutterOptions::Assign(const TGutterOptions& source) {
  SetWidth(source.Width());
  SetColor(source.Color());
  SetShowBookmarks(source.ShowBookmarks());
  SetLineSelect(source.LineSelect());
}

int32_t TGutterOptions::Width() const { return view_ ? view_->GutterWidth() : 0; }
void TGutterOptions::SetWidth(int32_t value) {
  if (view_) view_->SetGutterWidth(value < 0 ? 0 : value);
}
TColor TGutterOptions::Color() const { return view_ ? view_->GutterColor() : clWindow; }
void TGutterOptions::SetColor(TColor value) {
  if (view_) view_->SetGutterColor(value);
}
bool TGutterOptions::ShowBookmarks() const {
  return view_ && (view_->GutterFlags() & TCustomScrivel::gfShowBookmarks);
}
void TGutterOptions::SetShowBookmarks(bool value) {
  if (view_) view_->SetGutterFlag(TCustomScrivel::gfShowBookmarks, value);
}
bool TGutterOptions::LineSelect() const {
  return view_ && (view_->GutterFlags() & TCustomScrivel::gfLineSelect);
}
void TGutterOptions::SetLineSelect(bool value) {
  if (view_) view_->SetGutterFlag(TCustomScrivel::gfLineSelect, value);
}
