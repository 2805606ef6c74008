#pragma once
// A view over a byte block in memory (its own copy or a block the caller
// keeps alive), shown as lines separated by CR, LF or CR LF, optionally
// wrapped at the window width. Offsets are 32-bit inside: blocks of 2 GiB
// or more are refused.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "view/CustomScrivel.h"
#include "view/LineTags.h"
#include "view/MemLineTable.h"

class TMemScrivel : public TCustomScrivel {
  Q_OBJECT

public:
  static constexpr int64_t kMaxDataSize = 0x7FFFFFFF;

  explicit TMemScrivel(QWidget* parent = nullptr);
  ~TMemScrivel() override;

  // Shows `size` bytes at `data`: copied when `copy`, otherwise the caller
  // keeps the block alive and unchanged until the next SetData or the view's
  // end. Raises Exception for a size of 2 GiB or more (the view keeps its text).
  virtual void SetData(const char* data, int64_t size, bool copy);

  void Reformat() override;
  int64_t DisplayLineCount() override { return static_cast<int64_t>(layout_.Lines.size()); }
  int32_t DisplayLineLength(int64_t line) override;
  bool GetDisplayLine(int64_t line, std::string& text) override;
  bool GetDisplayLineView(int64_t line, std::string_view& text, std::string& scratch) override;
  int64_t LineCount() override;
  int32_t LineLength(int64_t line) override;
  bool GetLine(int64_t line, std::string& text) override;
  int64_t TextLength() override { return size_; }
  void GetAllText(std::string& text) override;
  const char* GetTextBuffer(int64_t& length) override;
  void SetText(std::string_view text) override;
  // Refuses a stream too large for the view before reading it.
  bool LoadFromStream(TStream& stream, const std::string& extension) override;
  int64_t ReadText(char* buffer, int64_t size, int64_t offset) override;
  bool OffsetToPoint(int64_t offset, TTextPoint& point) override;
  bool PointToOffset(const TTextPoint& point, int64_t& offset) override;
  bool OffsetToLine(int64_t offset, int64_t& line, int32_t& column) override;
  bool LineToOffset(int32_t column, int64_t line, int64_t& offset) override;
  intptr_t FindLineTag(int64_t line, int32_t& offset, uint16_t key) override;
  int64_t FindTaggedLine(intptr_t value, uint16_t key, int64_t first, int64_t last) override;
  bool AddLineTag(int64_t line, int32_t offset, bool ownsValue, intptr_t value, uint16_t key) override;
  bool RemoveLineTags(int64_t line, uint16_t key, intptr_t value, int32_t offset) override;

  const TMemLayout& Layout() const { return layout_; }
  bool OwnsData() const { return ownsText_; }

private:
  void dropTags();
  const std::vector<TMemLine>& logicalLines() const {
    return WordWrap() ? layout_.Logical : layout_.Lines;
  }

  const char* text_ = nullptr;
  int32_t size_ = 0;
  TMemLayout layout_;
  std::vector<TLineTag*> tags_;
  std::unique_ptr<char[]> ownedText_;
  bool ownsText_ = false;
};
