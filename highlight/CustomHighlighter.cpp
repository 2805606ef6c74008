#include "highlight/CustomHighlighter.h"

#include <algorithm>
#include <strings.h>

#include "highlight/HighlightedView.h"

namespace {
const char kDefaultAttribName[] = "Default";

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}
}  // namespace

TCustomHighlighter::TCustomHighlighter() = default;

TCustomHighlighter::~TCustomHighlighter() {
  MarkDestroying();
  if (view_) {
    THighlightedView* view = view_;
    view_ = nullptr;
    view->UseHighlighter(nullptr, this);
  }
  for (auto& a : attribs_) a->SetOwner(nullptr);
}

void TCustomHighlighter::SetView(THighlightedView* view) {
  if (view == view_) return;
  if (view_) {
    TextDone();
    THighlightedView* old = view_;
    view_ = nullptr;
    old->UseHighlighter(nullptr, this);
    if (!view) {
      Release();  // may free this: nothing after it
      return;
    }
    // Moving to another view keeps the use.
  } else if (view) {
    AddRef();
  }
  view_ = view;
  if (!view_) return;
  if (THiAttrib* def = AttribCount() > 0 ? attribs_[0].get() : nullptr)
    def->AssignFromView(view_->ViewFontColor(), view_->ViewColor(), view_->ViewFontStyle());
  TextInit();
  view_->UseHighlighter(this, nullptr);
}

void TCustomHighlighter::InitAttributes() {
  for (auto& a : attribs_) a->SetOwner(nullptr);
  attribs_.clear();
  auto def = std::make_unique<THiAttrib>(kDefaultAttribName, this);
  if (view_) def->AssignFromView(view_->ViewFontColor(), view_->ViewColor(), view_->ViewFontStyle());
  attribs_.push_back(std::move(def));
  if (!initializing_) UpdateAttribs();
}

bool TCustomHighlighter::GetToken(const char*, int32_t, int32_t&, THiAttrib*&) { return false; }

void TCustomHighlighter::PaintInit(THighlightedView* view, TDrawLineInfo& info) {
  UpdateAttribs();
  if (!view || !view->ShowsBracketMarks()) return;
  TTextPoint p;
  if (bracket1_ >= 0 && view->ViewOffsetToPoint(bracket1_, p)) info.BracketMark1 = p;
  if (bracket2_ >= 0 && view->ViewOffsetToPoint(bracket2_, p)) info.BracketMark2 = p;
}

void TCustomHighlighter::LineInit(TDrawLineInfo&) {}
void TCustomHighlighter::TextChanged(int64_t, int64_t) {}
void TCustomHighlighter::TextInit() {}
void TCustomHighlighter::TextDone() {}
int64_t TCustomHighlighter::FindDeclaration(int, int64_t offset) { return offset; }
std::string TCustomHighlighter::BracketChars() { return "()[]{}"; }

void TCustomHighlighter::AttribChanged(THiAttrib*) {
  UpdateAttribs();
  if (view_) view_->UseHighlighter(this, nullptr);  // repaints when already in use
}

THiAttrib* TCustomHighlighter::AddAttrib(std::string_view name) {
  if (THiAttrib* a = FindAttrib(name)) return a;
  auto a = std::make_unique<THiAttrib>(name, this);
  if (view_) a->AssignFromView(view_->ViewFontColor(), view_->ViewColor(), view_->ViewFontStyle());
  attribs_.push_back(std::move(a));
  if (!initializing_) UpdateAttribs();
  return attribs_.back().get();
}

THiAttrib* TCustomHighlighter::FindAttrib(std::string_view name) const {
  const uint8_t hash = THiAttrib::HashOf(name);
  for (const auto& a : attribs_)
    if (a->Hash() == hash && sameName(a->Name(), name)) return a.get();
  return nullptr;
}

int TCustomHighlighter::AttribCount() {
  if (attribs_.empty()) {
    initializing_ = true;
    try {
      InitAttributes();
    } catch (...) {
      initializing_ = false;
      throw;
    }
    initializing_ = false;
    UpdateAttribs();
  }
  return static_cast<int>(attribs_.size());
}

THiAttrib* TCustomHighlighter::AttribByIndex(int index) {
  if (index < 0 || index >= AttribCount()) return nullptr;
  return attribs_[static_cast<size_t>(index)].get();
}

void TCustomHighlighter::RemoveAttrib(std::string_view name) {
  auto it = std::find_if(attribs_.begin(), attribs_.end(),
                         [&](const auto& a) { return sameName(a->Name(), name); });
  if (it != attribs_.end()) attribs_.erase(it);
}

void TCustomHighlighter::UpdateAttribs() {
  if (attribs_.empty()) return;
  THiAttrib* def = FindAttrib(kDefaultAttribName);
  if (!def) def = attribs_[0].get();
  if (view_) {
    def->Color = view_->ViewFontColor();
    def->Background = view_->ViewColor();
    def->Style = view_->ViewFontStyle();
  }
  uint8_t nextStyleNo = kFirstStyleNo;
  for (size_t i = 0; i < attribs_.size(); ++i) {
    THiAttrib& a = *attribs_[i];
    a.StyleNo = 0;
    if (&a != def) {
      if (!(a.Flags & THiAttrib::afColor)) a.Color = def->Color;
      if (!(a.Flags & THiAttrib::afBackground)) a.Background = def->Background;
      if (!(a.Flags & THiAttrib::afStyle)) a.Style = def->Style;
    }
    for (size_t j = 0; j < i; ++j) {
      if (attribs_[j]->SameAs(&a)) {
        a.StyleNo = attribs_[j]->StyleNo;
        break;
      }
    }
    if (a.StyleNo == 0) a.StyleNo = nextStyleNo < 0x7F ? nextStyleNo++ : 0x7F;
  }
}

int32_t TCustomHighlighter::NextRun(TDrawLineInfo& info, int32_t column) {
  curLine_ = &info;
  const std::string_view text = info.LineText;
  const int32_t n = static_cast<int32_t>(text.size());
  // A stretch without tokens is looked at only up to the end of what the view
  // shows, so a long line costs its visible part, not its length.
  const int32_t shown =
      info.Text ? static_cast<int32_t>(std::min<int64_t>(n, int64_t{info.CutChars} + info.TextLength)) : n;
  int32_t length = 0;
  THiAttrib* attrib = nullptr;

  // A token starting at p: its length (at least 1) and attribute, or the run
  // of characters without token up to the next token start.
  auto runAt = [&](int32_t p, int32_t& len, THiAttrib*& attr) {
    column_ = p;
    int32_t tokenLength = 0;
    attr = nullptr;
    if (p < n && GetToken(text.data() + p, n - p, tokenLength, attr)) {
      len = std::max(tokenLength, 1);
      return;
    }
    attr = nullptr;
    int32_t q = p + 1;
    for (; q < shown; ++q) {
      column_ = q;
      int32_t l = 0;
      THiAttrib* a = nullptr;
      if (GetToken(text.data() + q, n - q, l, a)) break;
    }
    len = std::max(q - p, 1);
  };

  bool done = false;
  if (!info.Resync) {
    if (n - column <= 0) {
      curLine_ = nullptr;
      return 0;
    }
  } else if (column > 0) {
    // Tokenise from the line start so that a token cut by the left edge keeps its colour.
    int32_t p = 0;
    while (p < column && p < n) {
      int32_t len;
      THiAttrib* attr;
      runAt(p, len, attr);
      if (p + len > column) {
        length = p + len - column;
        attrib = attr;
        done = true;
        break;
      }
      p += len;
    }
  }
  if (!done) {
    if (column >= n) {
      length = 0;
    } else {
      runAt(column, length, attrib);
    }
  }
  if (length < 0) length = 0;
  if (attrib) {
    attrib->Apply(info);
  } else {
    info.RunColor = info.BaseColor;
    info.RunBackground = info.BaseBackground;
    info.RunStyle = info.BaseStyle;
    info.CurStyle = 0;
  }
  curLine_ = nullptr;
  return length;
}

void TCustomHighlighter::SetBracketMarks(int64_t a, int64_t b) {
  if (a > b) std::swap(a, b);
  if (a == bracket1_ && b == bracket2_) return;
  if (view_) {
    int64_t done[4];
    int count = 0;
    for (int64_t o : {bracket1_, bracket2_, a, b}) {
      if (o < 0 || std::find(done, done + count, o) != done + count) continue;
      done[count++] = o;
      view_->InvalidateOffsetLine(o);
    }
  }
  bracket1_ = a;
  bracket2_ = b;
}
