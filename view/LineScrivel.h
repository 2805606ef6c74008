#pragma once
// A view over the lines of a string list it owns, each line followed by a
// line end of one character (CR) or two (CR LF, DoubleLineEnd), optionally
// wrapped at the window width. Any change of the list reformats the view.
// Each string's object slot holds the chain of that line's tags.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/StringList.h"
#include "view/CustomScrivel.h"
#include "view/LineTags.h"

// One display line: a piece of a logical line. 32-bit offsets and lengths,
// so lines longer than 65535 characters show whole.
struct TLineViewEntry {
  int32_t Line = 0;
  int32_t Offset = 0;
  int32_t Length = 0;
};

// The lines of a line view. A line's object slot holds the chain of its
// tags, which goes with the line when the line is deleted or the list cleared.
class TTaggedLines : public TStringList {
public:
  void Delete(int index) override;
  void Clear() override;
};

class TLineScrivel : public TCustomScrivel {
  Q_OBJECT

public:
  explicit TLineScrivel(QWidget* parent = nullptr);
  ~TLineScrivel() override;

  // The lines shown; changing them reformats the view.
  TStringList& Lines() { return list_; }
  void SetDoubleLineEnd(bool value);

  void Reformat() override;
  int64_t DisplayLineCount() override { return static_cast<int64_t>(entries_.size()); }
  int32_t DisplayLineLength(int64_t line) override;
  bool GetDisplayLine(int64_t line, std::string& text) override;
  bool GetDisplayLineView(int64_t line, std::string_view& text, std::string& scratch) override;
  int64_t LineCount() override { return list_.Count(); }
  int32_t LineLength(int64_t line) override;
  bool GetLine(int64_t line, std::string& text) override;
  int64_t TextLength() override { return total_; }
  void GetAllText(std::string& text) override;
  void SetText(std::string_view text) override;
  void SetStrings(const TStrings* list) override;
  int64_t ReadText(char* buffer, int64_t size, int64_t offset) override;
  bool OffsetToPoint(int64_t offset, TTextPoint& point) override;
  bool PointToOffset(const TTextPoint& point, int64_t& offset) override;
  bool OffsetToLine(int64_t offset, int64_t& line, int32_t& column) override;
  bool LineToOffset(int32_t column, int64_t line, int64_t& offset) override;
  intptr_t FindLineTag(int64_t line, int32_t& offset, uint16_t key) override;
  int64_t FindTaggedLine(intptr_t value, uint16_t key, int64_t first, int64_t last) override;
  bool AddLineTag(int64_t line, int32_t offset, bool ownsValue, intptr_t value, uint16_t key) override;
  bool RemoveLineTags(int64_t line, uint16_t key, intptr_t value, int32_t offset) override;

  int32_t LineEndLength() const { return DoubleLineEnd() ? 2 : 1; }

private:
  void listChanged();
  void dropTags();
  TLineTag* chainOf(int line) const { return static_cast<TLineTag*>(list_.GetObject(line)); }
  void setChain(int line, TLineTag* chain);
  int64_t lineStart(int64_t line) const { return starts_[static_cast<size_t>(line)]; }
  // The logical line holding the offset (starts_ search); -1 when outside.
  int64_t lineOfOffset(int64_t offset) const;

  TTaggedLines list_;
  int64_t total_ = 0;
  bool textSet_ = false;
  bool ignoreListChange_ = false;
  // Start offset of every logical line, and the total after the last.
  std::vector<int64_t> starts_;
  // First display entry of every logical line (with word wrap).
  std::vector<int64_t> firstEntry_;
  std::vector<TLineViewEntry> entries_;
};
