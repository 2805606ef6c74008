#pragma once
// The buffer's marker list as the buffer sees it: markers that follow the
// text. The marker list class implements it; the buffer owns the list,
// shifts its markers on every change and clears it with the text.
#include <cstdint>

class TBufferMarkers {
public:
  virtual ~TBufferMarkers() = default;
  virtual void ShiftMarkers(int64_t delta, int64_t offset) = 0;
  virtual void ClearMarkers() = 0;
};
