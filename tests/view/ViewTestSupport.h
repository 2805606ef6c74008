#pragma once
// Shared pieces of the view tests: the application object, a view with a
// fixed geometry, a highlighter stub and reference runs of coreutils.
#include <QImage>
#include <QString>

#include <ostream>
#include <string>

#include "highlight/CustomHighlighter.h"
#include "tests/common/QtTestApp.h"
#include "view/MemScrivel.h"

// Text points print as (column, line) in test failures.
inline void PrintTo(const TTextPoint& p, std::ostream* os) { *os << "(" << p.Col << ", " << p.Line << ")"; }

// A TMemScrivel of the given size in pixels, shown off screen, with the text.
struct TestMemView {
  explicit TestMemView(const std::string& text, int width = 400, int height = 200);
  ~TestMemView();
  TMemScrivel* operator->() { return view; }
  TMemScrivel* view;
};

// Output of a shell command fed with `input`; sets ok to false when it fails.
std::string RunFilter(const std::string& command, const std::string& input, bool& ok);

// When QUILL_SCREENSHOTS names a folder, saves the image there as <name>.png.
void SaveScreenshot(const QImage& image, const char* name);

// Splits every line into 5 runs of about equal length, alternating two
// coloured attributes (the view's colours are the "Default" element).
class TFiveRunHighlighter : public TCustomHighlighter {
public:
  void InitAttributes() override;
  bool GetToken(const char* text, int32_t length, int32_t& tokenLength, THiAttrib*& attrib) override;
  int textInits = 0;
  void TextInit() override { ++textInits; }
};
