#include "util/TextScan.h"

#include <cstring>

const char* FastEOL(const char* p, const char* end) {
  while (p < end && *p != '\r' && *p != '\n' && *p != '\0') ++p;
  return p;
}

const char* pSkipEOL(const char* p, const char* end) {
  if (p < end && *p == '\r') ++p;
  else if (p < end && *p == '\n') return p + 1;
  else return p;
  if (p < end && *p == '\n') ++p;
  return p;
}

const char* pSkipBlank(const char* p, const char* end) {
  while (p < end && *p != '\0' && static_cast<unsigned char>(*p) <= 32) ++p;
  return p;
}

const char* FastScan2(const char* p, char ch, const char* end) {
  if (p >= end) return end;
  const void* found = std::memchr(p, ch, static_cast<size_t>(end - p));
  return found ? static_cast<const char*>(found) : end;
}

const char* ExtToken(const char* p, const char* end, char ch, std::string& out) {
  const char* stop = FastScan2(p, ch, end);
  out.assign(p, stop);
  return stop < end ? stop + 1 : end;
}

const char* ExtQuoted(const char* p, const char* end, std::string& out) {
  out.clear();
  if (p >= end || (*p != '\'' && *p != '"')) return p;
  const char quote = *p++;
  while (p < end) {
    const char* stop = FastScan2(p, quote, end);
    out.append(p, stop);
    if (stop == end) return end;
    p = stop + 1;
    if (p < end && *p == quote) {
      out += quote;
      ++p;
    } else {
      return p;
    }
  }
  return p;
}

const char* ValPC(const char* p, const char* end, int32_t& out) {
  out = 0;
  const char* q = p;
  bool negative = q < end && *q == '-';
  if (negative) ++q;
  if (q >= end || *q < '0' || *q > '9') return p;
  // The magnitude stops growing once it passes the 32-bit range, so it cannot overflow.
  int64_t magnitude = 0;
  for (; q < end && *q >= '0' && *q <= '9'; ++q)
    if (magnitude <= INT32_MAX) magnitude = magnitude * 10 + (*q - '0');
  int64_t value = negative ? -magnitude : magnitude;
  out = static_cast<int32_t>(value < INT32_MIN ? INT32_MIN : value > INT32_MAX ? INT32_MAX : value);
  return q;
}
