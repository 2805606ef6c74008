#pragma once
// The marker list: named positions in a text that follow its edits. Each
// marker has an identifier, a 64-bit offset, a 32-bit value (usually the
// length of a range starting at the offset) and a text. Users are told apart
// by identifier ranges: numbered bookmarks 1 to 10, highlighters (negative
// identifiers, any number of them), an editor's saved state and the two ends
// of a drag-and-drop move. Identifiers >= 0 are unique in the list.
//
// The markers form a doubly linked list sorted by offset. Lookups start from
// the nearest of four known nodes (last found, search hint, first, last), so
// painting and analysis that walk the text in order stay cheap.
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "textbuf/BufferMarkers.h"

// Identifiers used across the suite.
constexpr int32_t kFirstNumberedBookmark = 1;
constexpr int32_t kLastNumberedBookmark = 10;
constexpr int32_t kSavedStateFirstId = 4097;  // selection, caret, anchor, top: +0 ... +3
constexpr int32_t kSavedStateIdCount = 4;
constexpr int32_t kSavedStateIdLimit = 0x7F000000;
constexpr int32_t kDragDropPointId = 0x7F000001;
constexpr int32_t kDragDropSourceId = 0x7F000002;

constexpr bool IsNumberedBookmark(int32_t id) {
  return id >= kFirstNumberedBookmark && id <= kLastNumberedBookmark;
}

struct TMarker {
  TMarker* Next = nullptr;
  TMarker* Prev = nullptr;
  uint8_t Flags = 0;  // mfSticky
  int32_t Id = 0;
  int64_t Offset = 0;
  int32_t Value = 0;
  std::string Text;

  // The range does not grow when text is inserted exactly at its end.
  static constexpr uint8_t mfSticky = 0x01;
  bool Sticky() const { return Flags & mfSticky; }
  // End of the range; a negative value counts as an empty range.
  int64_t End() const { return Offset + (Value > 0 ? Value : 0); }
};

class TBookmarkList : public TBufferMarkers {
public:
  // `owner` is the view or buffer the list belongs to (not owned).
  explicit TBookmarkList(void* owner = nullptr) : owner_(owner) {}
  ~TBookmarkList() override;
  TBookmarkList(const TBookmarkList&) = delete;
  TBookmarkList& operator=(const TBookmarkList&) = delete;

  void* Owner() const { return owner_; }
  int32_t Count() const { return count_; }
  TMarker* First() const { return first_; }
  TMarker* Last() const { return last_; }

  // Identifier >= 0: creates, moves (to its sorted place) or, with a negative
  // offset, removes the marker; at the same offset only the value changes.
  // Identifier < 0: a marker with it at exactly the offset gets the value; a
  // negative offset removes every marker with the identifier; otherwise a new
  // marker is added. New markers go after all markers at or before their
  // offset. Answers the marker (none when removed).
  TMarker* SetMarker(int32_t id, int32_t value, int64_t offset);
  // Identifier >= 0: the marker with it (offset not compared). Negative: the
  // marker with it at exactly the offset; an offset < 0 accepts any.
  TMarker* FindMarker(int32_t id, int64_t offset);
  bool GetMarker(int32_t id, int64_t& offset, int32_t& value);
  void SetMarkerSticky(TMarker* marker, bool sticky);
  // Removes the markers with the identifier at the offset (< 0: at any offset).
  void RemoveMarker(int32_t id, int64_t offset);
  void RemoveMarkers(const std::vector<int32_t>& ids);
  void ClearMarkers() override;

  // Follows a text change of `delta` characters at `offset` (positive =
  // inserted, negative = deleted):
  // - a marker whose range ends before the change, or a sticky one ending at
  //   it, keeps its place;
  // - a marker starting before the change grows by an insertion (its end is
  //   at or after the change) and loses the part of its range that a
  //   deletion covers;
  // - a marker starting at or after the change moves by the delta; one that
  //   starts inside a deleted range moves to the start of the deletion and
  //   loses the covered part of its range, except that a highlighter marker
  //   (negative identifier) there is removed.
  // Offsets never fall below the change offset, so the order is kept.
  void ShiftMarkers(int64_t delta, int64_t offset) override;

  // The nearest marker at or before `offset` whose identifier is in `ids`;
  // its offset is returned in `offset`. -1 when none.
  int32_t FindMarkerBefore(int64_t& offset, const std::vector<int32_t>& ids);
  // The first marker at or after `offset`, not beyond `limit` (< 0: no
  // limit), whose identifier lies in lowId..highId; its offset and value are
  // returned. On failure -1, and `offset` becomes -1.
  int32_t FindMarkerInRange(int64_t& offset, int32_t lowId, int32_t& value, int32_t highId,
                            int64_t limit);
  // Calls back for each marker in order while the callback answers true.
  using TEnumMarkerProc = std::function<bool(int32_t id, int64_t offset, const std::string& text,
                                             int32_t value)>;
  void EnumMarkers(const TEnumMarkerProc& proc) const;
  // Remembers the last node before the offset as a starting point for lookups.
  void SetSearchHint(int64_t offset);

  // A fresh base for an editor's four saved-state markers (base + 0 ... + 3):
  // bases count up from 4097 and start again there before 0x7F000000, so the
  // editors sharing this list never collide while fewer than ~500 million of
  // them exist at once.
  int32_t NewSavedStateBase();

private:
  TMarker* nearestTo(int64_t offset) const;
  // The first node with an offset > `offset` (none = append at the end).
  TMarker* firstAfter(int64_t offset) const;
  TMarker* firstAtOrAfter(int64_t offset) const;
  void link(TMarker* node, TMarker* before);
  void unlink(TMarker* node);
  void destroy(TMarker* node);
  TMarker* insertNew(int32_t id, int32_t value, int64_t offset);

  void* owner_;
  TMarker* first_ = nullptr;
  TMarker* last_ = nullptr;
  mutable TMarker* lastFound_ = nullptr;
  TMarker* searchHint_ = nullptr;
  int32_t count_ = 0;
  std::unordered_map<int32_t, TMarker*> byId_;  // identifiers >= 0
  int32_t nextSavedStateBase_ = kSavedStateFirstId;
};
