#pragma once
// The settings of a view's gutter, the strip left of the text: its width, its
// colour, whether it marks the lines of numbered bookmarks and whether a left
// click in it selects the line. The properties read and write the view's own
// fields, so the view paints and maps with them directly.
#include <cstdint>

#include "platform/Colors.h"

class TCustomScrivel;

class TGutterOptions {
public:
  explicit TGutterOptions(TCustomScrivel* view) : view_(view) {}
  // Sets the view's gutter width to 0, unless the view itself is going.
  ~TGutterOptions();
  TGutterOptions(const TGutterOptions&) = delete;
  TGutterOptions& operator=(const TGutterOptions&) = delete;

  // Copies the four values.
  void Assign(const TGutterOptions& source);

  int32_t Width() const;
  // Negative widths become 0.
  void SetWidth(int32_t value);
  TColor Color() const;
  void SetColor(TColor value);
  bool ShowBookmarks() const;
  void SetShowBookmarks(bool value);
  bool LineSelect() const;
  void SetLineSelect(bool value);

  TCustomScrivel* View() const { return view_; }
  // The view is being destroyed: leave its fields alone.
  void DetachView() { view_ = nullptr; }

private:
  TCustomScrivel* view_;
};
