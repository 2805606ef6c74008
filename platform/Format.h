#pragma once
// A bounded, type-checked formatter for the class library's format strings:
//   %[index:][-][width][.precision]type   with type d u x e f g n m p s
// width and precision may be "*" (taken from the next integer argument);
// "%%" gives "%". Hex digits are upper case; "%p" prints at least 8 digits.
// A specifier that does not fit its argument, or a missing argument, raises
// EConvertError. Widths and precisions are capped at kMaxFormatWidth.
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

constexpr int kMaxFormatWidth = 4096;

class FormatArg {
public:
  enum class Kind { Int, UInt, Float, Text, Pointer };

  template <class T, std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T> && !std::is_same_v<T, char>, int> = 0>
  FormatArg(T v) : kind_(Kind::Int), i_(v), wide_(sizeof(T) > 4) {}
  template <class T, std::enable_if_t<std::is_integral_v<T> && std::is_unsigned_v<T> && !std::is_same_v<T, bool>, int> = 0>
  FormatArg(T v) : kind_(Kind::UInt), u_(v) {}
  FormatArg(bool v) : kind_(Kind::Int), i_(v ? 1 : 0) {}
  FormatArg(char c) : kind_(Kind::Text), text_(&c_, 1), c_(c) {}
  FormatArg(double v) : kind_(Kind::Float), f_(v) {}
  FormatArg(float v) : kind_(Kind::Float), f_(v) {}
  FormatArg(const char* s) : kind_(Kind::Text), text_(s ? s : "") {}
  FormatArg(const std::string& s) : kind_(Kind::Text), text_(s) {}
  FormatArg(std::string_view s) : kind_(Kind::Text), text_(s) {}
  FormatArg(const void* p) : kind_(Kind::Pointer), u_(reinterpret_cast<uintptr_t>(p)) {}
  FormatArg(const FormatArg& o) : kind_(o.kind_), i_(o.i_), u_(o.u_), f_(o.f_), text_(o.text_), c_(o.c_), wide_(o.wide_) {
    if (o.text_.data() == &o.c_) text_ = std::string_view(&c_, 1);
  }
  FormatArg& operator=(const FormatArg&) = delete;

  Kind kind() const { return kind_; }
  int64_t asInt() const { return i_; }
  uint64_t asUInt() const { return u_; }
  double asFloat() const { return f_; }
  std::string_view asText() const { return text_; }
  // The bits of a signed integer as an unsigned one: a negative number shows
  // as the two's complement of its own type, 32 bits for int and smaller.
  uint64_t asBits() const { return wide_ ? static_cast<uint64_t>(i_) : static_cast<uint32_t>(i_); }

private:
  Kind kind_;
  int64_t i_ = 0;
  uint64_t u_ = 0;
  double f_ = 0;
  std::string_view text_;
  char c_ = 0;
  bool wide_ = false;  // a signed integer of more than 32 bits
};

std::string FormatList(std::string_view format, std::span<const FormatArg> args);

template <class... Args>
std::string Format(std::string_view format, const Args&... args) {
  const FormatArg list[] = {FormatArg(args)..., FormatArg(0)};
  return FormatList(format, std::span<const FormatArg>(list, sizeof...(Args)));
}
