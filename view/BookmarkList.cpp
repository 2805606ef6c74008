#include "view/BookmarkList.h"

#include <algorithm>

TBookmarkList::~TBookmarkList() { ClearMarkers(); }

TMarker* TBookmarkList::nearestTo(int64_t offset) const {
  TMarker* best = nullptr;
  int64_t bestDistance = INT64_MAX;
  for (TMarker* candidate : {lastFound_, searchHint_, first_, last_}) {
    if (!candidate) continue;
    const int64_t d = candidate->Offset > offset ? candidate->Offset - offset : offset - candidate->Offset;
    if (d < bestDistance) {
      bestDistance = d;
      best = candidate;
    }
  }
  return best;
}

TMarker* TBookmarkList::firstAtOrAfter(int64_t offset) const {
  TMarker* n = nearestTo(offset);
  if (!n) return nullptr;
  if (n->Offset >= offset) {
    while (n->Prev && n->Prev->Offset >= offset) n = n->Prev;
    return n;
  }
  while (n && n->Offset < offset) n = n->Next;
  return n;
}

TMarker* TBookmarkList::firstAfter(int64_t offset) const {
  TMarker* n = nearestTo(offset);
  if (!n) return nullptr;
  if (n->Offset > offset) {
    while (n->Prev && n->Prev->Offset > offset) n = n->Prev;
    return n;
  }
  while (n && n->Offset <= offset) n = n->Next;
  return n;
}

void TBookmarkList::link(TMarker* node, TMarker* before) {
  node->Next = before;
  node->Prev = before ? before->Prev : last_;
  if (node->Prev)
    node->Prev->Next = node;
  else
    first_ = node;
  if (before)
    before->Prev = node;
  else
    last_ = node;
}

void TBookmarkList::unlink(TMarker* node) {
  if (node->Prev)
    node->Prev->Next = node->Next;
  else
    first_ = node->Next;
  if (node->Next)
    node->Next->Prev = node->Prev;
  else
    last_ = node->Prev;
  if (lastFound_ == node) lastFound_ = nullptr;
  if (searchHint_ == node) searchHint_ = node->Prev ? node->Prev : node->Next;
  node->Next = node->Prev = nullptr;
}

void TBookmarkList::destroy(TMarker* node) {
  unlink(node);
  if (node->Id >= 0) byId_.erase(node->Id);
  --count_;
  delete node;
}

TMarker* TBookmarkList::insertNew(int32_t id, int32_t value, int64_t offset) {
  TMarker* node = new TMarker;
  node->Id = id;
  node->Offset = offset;
  node->Value = value;
  link(node, firstAfter(offset));
  ++count_;
  if (id >= 0) byId_[id] = node;
  return node;
}

TMarker* TBookmarkList::SetMarker(int32_t id, int32_t value, int64_t offset) {
  TMarker* node = nullptr;
  if (id >= 0) {
    auto it = byId_.find(id);
    if (it != byId_.end()) {
      node = it->second;
      if (offset < 0) {
        destroy(node);
        return nullptr;
      }
      node->Value = value;
      if (node->Offset != offset) {
        unlink(node);
        node->Offset = offset;
        link(node, firstAfter(offset));
      }
    } else if (offset >= 0) {
      node = insertNew(id, value, offset);
    }
  } else {
    if (offset < 0) {
      RemoveMarker(id, -1);
      return nullptr;
    }
    node = FindMarker(id, offset);
    if (node)
      node->Value = value;
    else
      node = insertNew(id, value, offset);
  }
  if (node) lastFound_ = node;
  return node;
}

TMarker* TBookmarkList::FindMarker(int32_t id, int64_t offset) {
  if (id >= 0) {
    auto it = byId_.find(id);
    if (it == byId_.end()) return nullptr;
    lastFound_ = it->second;
    return it->second;
  }
  if (offset < 0) {
    for (TMarker* n = first_; n; n = n->Next)
      if (n->Id == id) return lastFound_ = n;
    return nullptr;
  }
  for (TMarker* n = firstAtOrAfter(offset); n && n->Offset == offset; n = n->Next)
    if (n->Id == id) return lastFound_ = n;
  return nullptr;
}

bool TBookmarkList::GetMarker(int32_t id, int64_t& offset, int32_t& value) {
  TMarker* n = FindMarker(id, offset);
  if (!n) return false;
  offset = n->Offset;
  value = n->Value;
  return true;
}

void TBookmarkList::SetMarkerSticky(TMarker* marker, bool sticky) {
  if (!marker) return;
  if (sticky)
    marker->Flags |= TMarker::mfSticky;
  else
    marker->Flags &= ~TMarker::mfSticky;
}

void TBookmarkList::RemoveMarker(int32_t id, int64_t offset) {
  if (id >= 0) {
    auto it = byId_.find(id);
    if (it != byId_.end() && (offset < 0 || it->second->Offset == offset)) destroy(it->second);
    return;
  }
  TMarker* n = offset < 0 ? first_ : firstAtOrAfter(offset);
  while (n && (offset < 0 || n->Offset == offset)) {
    TMarker* next = n->Next;
    if (n->Id == id) destroy(n);
    n = next;
  }
}

void TBookmarkList::RemoveMarkers(const std::vector<int32_t>& ids) {
  for (TMarker* n = first_; n;) {
    TMarker* next = n->Next;
    if (std::find(ids.begin(), ids.end(), n->Id) != ids.end()) destroy(n);
    n = next;
  }
}

void TBookmarkList::ClearMarkers() {
  // Detach everything first so that the list is empty whatever happens next.
  TMarker* n = first_;
  first_ = last_ = lastFound_ = searchHint_ = nullptr;
  count_ = 0;
  byId_.clear();
  while (n) {
    TMarker* next = n->Next;
    delete n;
    n = next;
  }
}

void TBookmarkList::ShiftMarkers(int64_t delta, int64_t offset) {
  if (delta == 0) return;
  const int64_t deletedEnd = delta < 0 ? offset - delta : offset;
  for (TMarker* n = first_; n;) {
    TMarker* next = n->Next;
    const int64_t end = n->End();
    if (end < offset || (end == offset && n->Sticky())) {
      n = next;
      continue;
    }
    if (n->Offset < offset) {
      if (delta > 0) {
        if (n->Value > 0) n->Value = static_cast<int32_t>(std::min<int64_t>(int64_t{n->Value} + delta, INT32_MAX));
      } else {
        const int64_t overlap = std::min(end, deletedEnd) - offset;
        if (overlap > 0) n->Value -= static_cast<int32_t>(overlap);
      }
    } else if (delta > 0) {
      n->Offset += delta;
    } else if (n->Offset < deletedEnd) {
      if (n->Id < 0) {
        destroy(n);
        n = next;
        continue;
      }
      const int64_t overlap = std::min(end, deletedEnd) - n->Offset;
      if (overlap > 0 && n->Value > 0) n->Value -= static_cast<int32_t>(overlap);
      n->Offset = offset;
    } else {
      n->Offset += delta;
    }
    n = next;
  }
}

int32_t TBookmarkList::FindMarkerBefore(int64_t& offset, const std::vector<int32_t>& ids) {
  TMarker* n = firstAfter(offset);
  n = n ? n->Prev : last_;
  for (; n; n = n->Prev) {
    if (std::find(ids.begin(), ids.end(), n->Id) != ids.end()) {
      lastFound_ = n;
      offset = n->Offset;
      return n->Id;
    }
  }
  return -1;
}

int32_t TBookmarkList::FindMarkerInRange(int64_t& offset, int32_t lowId, int32_t& value,
                                         int32_t highId, int64_t limit) {
  for (TMarker* n = firstAtOrAfter(std::max<int64_t>(offset, 0)); n; n = n->Next) {
    if (limit >= 0 && n->Offset > limit) break;
    if (n->Id >= lowId && n->Id <= highId) {
      lastFound_ = n;
      offset = n->Offset;
      value = n->Value;
      return n->Id;
    }
  }
  offset = -1;
  return -1;
}

void TBookmarkList::EnumMarkers(const TEnumMarkerProc& proc) const {
  for (TMarker* n = first_; n;) {
    TMarker* next = n->Next;  // the callback may not remove others, but may look
    if (!proc(n->Id, n->Offset, n->Text, n->Value)) break;
    n = next;
  }
}

void TBookmarkList::SetSearchHint(int64_t offset) {
  TMarker* after = firstAtOrAfter(offset);
  searchHint_ = after ? (after->Prev ? after->Prev : after) : last_;
}

int32_t TBookmarkList::NewSavedStateBase() {
  if (nextSavedStateBase_ > kSavedStateIdLimit - kSavedStateIdCount)
    nextSavedStateBase_ = kSavedStateFirstId;
  const int32_t base = nextSavedStateBase_;
  nextSavedStateBase_ += kSavedStateIdCount;
  return base;
}
