#include "platform/Format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/Exceptions.h"

namespace {

[[noreturn]] void invalidFormat(std::string_view format) {
  throw EConvertError("Format '" + std::string(format) + "' invalid or incompatible with argument");
}

struct Spec {
  bool leftAlign = false;
  int width = -1;
  int precision = -1;
  char type = 0;
};

std::string digitsOf(uint64_t v, unsigned base) {
  char buf[24];
  int n = 0;
  do {
    buf[n++] = "0123456789ABCDEF"[v % base];
    v /= base;
  } while (v != 0);
  std::string s(static_cast<size_t>(n), '0');
  for (int i = 0; i < n; ++i) s[static_cast<size_t>(i)] = buf[n - 1 - i];
  return s;
}

// Zero-pads the digits to the precision, as the class library does for d, u, x.
std::string padDigits(std::string digits, int precision) {
  if (precision > static_cast<int>(digits.size()))
    digits.insert(0, static_cast<size_t>(precision) - digits.size(), '0');
  return digits;
}

std::string withThousands(const std::string& fixed) {
  size_t start = (!fixed.empty() && fixed[0] == '-') ? 1 : 0;
  size_t dot = fixed.find('.');
  size_t intEnd = dot == std::string::npos ? fixed.size() : dot;
  std::string out = fixed.substr(0, start);
  for (size_t i = start; i < intEnd; ++i) {
    out += fixed[i];
    size_t left = intEnd - i - 1;
    if (left > 0 && left % 3 == 0) out += ',';
  }
  out += fixed.substr(intEnd);
  return out;
}

std::string formatFloat(double v, const Spec& spec) {
  char buf[512];
  int prec = spec.precision;
  switch (spec.type) {
    case 'e': {
      // d.ddddE+ddd: the class library shows at least three exponent digits.
      if (prec < 0 || prec > 18) prec = 15;
      std::snprintf(buf, sizeof buf, "%.*E", prec > 0 ? prec - 1 : 0, v);
      std::string s = buf;
      size_t e = s.find('E');
      if (e != std::string::npos && e + 2 < s.size()) {
        std::string exp = s.substr(e + 2);
        while (exp.size() < 3) exp.insert(0, "0");
        s = s.substr(0, e + 2) + exp;
      }
      return s;
    }
    case 'f':
    case 'n':
    case 'm': {
      if (prec < 0) prec = 2;
      if (prec > 18) prec = 18;
      if (!std::isfinite(v) || std::fabs(v) >= 1e300) {
        std::snprintf(buf, sizeof buf, "%.*E", prec, v);
        return buf;
      }
      std::snprintf(buf, sizeof buf, "%.*f", prec, v);
      return spec.type == 'f' ? std::string(buf) : withThousands(buf);
    }
    default: {  // 'g'
      if (prec < 0 || prec > 18) prec = 15;
      std::snprintf(buf, sizeof buf, "%.*G", prec, v);
      return buf;
    }
  }
}

std::string formatOne(std::string_view format, const Spec& spec, const FormatArg& arg) {
  using Kind = FormatArg::Kind;
  switch (spec.type) {
    case 'd':
      if (arg.kind() == Kind::Int) {
        int64_t v = arg.asInt();
        uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        return (v < 0 ? "-" : "") + padDigits(digitsOf(mag, 10), spec.precision);
      }
      if (arg.kind() == Kind::UInt) return padDigits(digitsOf(arg.asUInt(), 10), spec.precision);
      break;
    case 'u':
      if (arg.kind() == Kind::Int) return padDigits(digitsOf(arg.asBits(), 10), spec.precision);
      if (arg.kind() == Kind::UInt) return padDigits(digitsOf(arg.asUInt(), 10), spec.precision);
      break;
    case 'x':
      if (arg.kind() == Kind::Int) return padDigits(digitsOf(arg.asBits(), 16), spec.precision);
      if (arg.kind() == Kind::UInt) return padDigits(digitsOf(arg.asUInt(), 16), spec.precision);
      break;
    case 'p':
      if (arg.kind() == Kind::Pointer || arg.kind() == Kind::UInt) return padDigits(digitsOf(arg.asUInt(), 16), 8);
      if (arg.kind() == Kind::Int) return padDigits(digitsOf(arg.asBits(), 16), 8);
      break;
    case 'e':
    case 'f':
    case 'g':
    case 'n':
    case 'm':
      if (arg.kind() == Kind::Float) return formatFloat(arg.asFloat(), spec);
      if (arg.kind() == Kind::Int) return formatFloat(static_cast<double>(arg.asInt()), spec);
      if (arg.kind() == Kind::UInt) return formatFloat(static_cast<double>(arg.asUInt()), spec);
      break;
    case 's':
      if (arg.kind() == Kind::Text) {
        std::string_view t = arg.asText();
        if (spec.precision >= 0 && static_cast<size_t>(spec.precision) < t.size()) t = t.substr(0, static_cast<size_t>(spec.precision));
        return std::string(t);
      }
      break;
  }
  invalidFormat(format);
}

}  // namespace

std::string FormatList(std::string_view format, std::span<const FormatArg> args) {
  std::string out;
  out.reserve(format.size() + 16 * args.size());
  size_t next = 0;  // index of the next argument
  size_t i = 0;
  const size_t n = format.size();

  auto takeInt = [&]() -> int {
    if (next >= args.size()) invalidFormat(format);
    const FormatArg& a = args[next++];
    int64_t v;
    if (a.kind() == FormatArg::Kind::Int) v = a.asInt();
    else if (a.kind() == FormatArg::Kind::UInt) v = static_cast<int64_t>(std::min<uint64_t>(a.asUInt(), INT32_MAX));
    else invalidFormat(format);
    return static_cast<int>(std::clamp<int64_t>(v, -1, kMaxFormatWidth));
  };
  auto readNumber = [&]() -> int {
    int64_t v = 0;
    while (i < n && format[i] >= '0' && format[i] <= '9') {
      v = std::min<int64_t>(v * 10 + (format[i] - '0'), 1'000'000'000);
      ++i;
    }
    return static_cast<int>(v);
  };

  while (i < n) {
    char c = format[i];
    if (c != '%') {
      size_t pct = format.find('%', i);
      if (pct == std::string_view::npos) pct = n;
      out.append(format.substr(i, pct - i));
      i = pct;
      continue;
    }
    ++i;
    if (i >= n) invalidFormat(format);
    if (format[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    Spec spec;
    // Optional argument index "N:" or "*:".
    size_t save = i;
    if (format[i] == '*' || (format[i] >= '0' && format[i] <= '9')) {
      int index = format[i] == '*' ? (++i, takeInt()) : readNumber();
      if (i < n && format[i] == ':') {
        ++i;
        if (index < 0) invalidFormat(format);
        next = static_cast<size_t>(index);
      } else {
        i = save;  // it was a width, not an index
        if (format[i] == '*') next--;  // give back the argument the width will take
      }
    }
    if (i < n && format[i] == '-') {
      spec.leftAlign = true;
      ++i;
    }
    if (i < n && format[i] == '*') {
      ++i;
      spec.width = takeInt();
    } else if (i < n && format[i] >= '0' && format[i] <= '9') {
      spec.width = readNumber();
    }
    if (i < n && format[i] == '.') {
      ++i;
      if (i < n && format[i] == '*') {
        ++i;
        spec.precision = takeInt();
      } else {
        spec.precision = readNumber();
      }
    }
    if (i >= n) invalidFormat(format);
    spec.type = static_cast<char>(format[i] | 0x20);  // types are case-insensitive
    ++i;
    spec.width = std::min(spec.width, kMaxFormatWidth);
    spec.precision = std::min(spec.precision, kMaxFormatWidth);
    if (next >= args.size()) invalidFormat(format);
    std::string piece = formatOne(format, spec, args[next++]);
    if (spec.width > static_cast<int>(piece.size())) {
      size_t pad = static_cast<size_t>(spec.width) - piece.size();
      if (spec.leftAlign) piece.append(pad, ' ');
      else piece.insert(0, pad, ' ');
    }
    out += piece;
  }
  return out;
}
