#include "view/LineTags.h"

namespace linetags {

namespace {
void release(TLineTag* tag) {
  if ((tag->Flags & TLineTag::tfOwnsValue) && tag->Value) {
    auto* object = reinterpret_cast<TLineTagObject*>(tag->Value);
    if (!object->TagOwnerRelease()) delete object;
  }
  delete tag;
}
}  // namespace

void Add(TLineTag*& chain, int32_t offset, bool ownsValue, intptr_t value, uint16_t key) {
  TLineTag* tag = new TLineTag;
  tag->Offset = offset;
  tag->Key = key;
  tag->Flags = ownsValue ? TLineTag::tfOwnsValue : 0;
  tag->Value = value;
  TLineTag** link = &chain;
  while (*link && (*link)->Offset <= offset) link = &(*link)->Next;
  tag->Next = *link;
  *link = tag;
}

intptr_t Find(const TLineTag* chain, int32_t& offset, uint16_t key) {
  for (const TLineTag* t = chain; t; t = t->Next) {
    if (offset >= 0 && t->Offset < offset) continue;
    if (offset >= 0 && t->Offset > offset) break;
    if (key != 0 && t->Key != key) continue;
    offset = t->Offset;
    return t->Value;
  }
  return 0;
}

bool Holds(const TLineTag* chain, intptr_t value, uint16_t key) {
  for (const TLineTag* t = chain; t; t = t->Next)
    if (t->Value == value && (key == 0 || t->Key == key)) return true;
  return false;
}

bool Remove(TLineTag*& chain, uint16_t key, intptr_t value, int32_t offset) {
  bool removed = false;
  TLineTag** link = &chain;
  while (*link) {
    TLineTag* t = *link;
    const bool match = (offset < 0 || t->Offset == offset) && (key == 0 || t->Key == key) &&
                       (value == 0 || t->Value == value);
    if (!match) {
      link = &t->Next;
      continue;
    }
    *link = t->Next;
    release(t);
    removed = true;
    if (value != 0) break;
  }
  return removed;
}

void Free(TLineTag*& chain) {
  TLineTag* t = chain;
  chain = nullptr;
  while (t) {
    TLineTag* next = t->Next;
    release(t);
    t = next;
  }
}

}  // namespace linetags
