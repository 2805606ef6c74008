#include "platform/RegistryFormat.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "platform/CodePage.h"
#include "platform/Format.h"

// ---- values ----------------------------------------------------------------

TRegValue TRegValue::String(std::string_view text, uint32_t type) {
  return TRegValue{type, std::string(text)};
}

TRegValue TRegValue::DWord(uint32_t value, uint32_t type) {
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i) {
    int shift = type == regDWordBigEndian ? 24 - 8 * i : 8 * i;
    data[static_cast<size_t>(i)] = static_cast<char>((value >> shift) & 0xFF);
  }
  return TRegValue{type, std::move(data)};
}

TRegValue TRegValue::Binary(std::string_view bytes, uint32_t type) {
  return TRegValue{type, std::string(bytes)};
}

TRegValue TRegValue::MultiString(const std::vector<std::string>& items) {
  TRegValue v{regMultiString, {}};
  for (const std::string& item : items) {
    if (item.find('\0') != std::string::npos) throw ERegistryError("A multi-string item cannot hold a zero byte");
    v.Data += item;
    v.Data += '\0';
  }
  return v;
}

bool TRegValue::GetDWord(uint32_t& value) const {
  if ((Type != regDWord && Type != regDWordBigEndian) || Data.size() != 4) return false;
  value = 0;
  for (int i = 0; i < 4; ++i) {
    uint32_t byte = static_cast<unsigned char>(Data[static_cast<size_t>(i)]);
    int shift = Type == regDWordBigEndian ? 24 - 8 * i : 8 * i;
    value |= byte << shift;
  }
  return true;
}

std::vector<std::string> TRegValue::MultiStringItems() const {
  std::vector<std::string> items;
  size_t start = 0;
  while (start < Data.size()) {
    size_t zero = Data.find('\0', start);
    if (zero == std::string::npos) zero = Data.size();  // an unterminated last item still counts
    items.emplace_back(Data, start, zero - start);
    start = zero + 1;
  }
  return items;
}

// ---- names and nodes -------------------------------------------------------

bool TRegNameLess::operator()(std::string_view a, std::string_view b) const {
  return AnsiCodePage().CompareText(a, b) < 0;
}

bool RegSameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  const TCodePage& cp = AnsiCodePage();
  for (size_t i = 0; i < a.size(); ++i)
    if (cp.Upper(static_cast<unsigned char>(a[i])) != cp.Upper(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

TRegNode* TRegNode::FindSubKey(std::string_view name) const {
  auto it = SubKeys.find(name);
  return it == SubKeys.end() ? nullptr : it->second.get();
}

TRegNode& TRegNode::AddSubKey(std::string_view name) {
  auto it = SubKeys.find(name);
  if (it == SubKeys.end()) it = SubKeys.emplace(std::string(name), std::make_unique<TRegNode>()).first;
  return *it->second;
}

const TRegValue* TRegNode::FindValue(std::string_view name) const {
  for (const auto& [n, v] : Values)
    if (RegSameName(n, name)) return &v;
  return nullptr;
}

bool TRegNode::SetValue(std::string_view name, const TRegValue& value) {
  for (auto& [n, v] : Values) {
    if (RegSameName(n, name)) {
      if (v == value) return false;
      v = value;
      return true;
    }
  }
  Values.emplace_back(std::string(name), value);
  return true;
}

bool TRegNode::DeleteValue(std::string_view name) {
  auto it = std::find_if(Values.begin(), Values.end(), [&](const auto& e) { return RegSameName(e.first, name); });
  if (it == Values.end()) return false;
  Values.erase(it);
  return true;
}

bool SplitRegKeyPath(std::string_view path, std::vector<std::string_view>& names) {
  names.clear();
  if (path.empty()) return true;
  size_t start = 0;
  while (true) {
    size_t sep = path.find('\\', start);
    std::string_view name = path.substr(start, sep == std::string_view::npos ? std::string_view::npos : sep - start);
    if (name.empty() || name.size() > kRegMaxKeyNameLength || names.size() >= kRegMaxKeyDepth) return false;
    names.push_back(name);
    if (sep == std::string_view::npos) return true;
    start = sep + 1;
  }
}

// ---- writing ---------------------------------------------------------------

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

void appendHexByte(std::string& out, unsigned char c) {
  out += kHexDigits[c >> 4];
  out += kHexDigits[c & 15];
}

void appendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default:
        if (c < 0x20 || c > 0x7E) {
          out += "\\x";
          appendHexByte(out, c);
        } else {
          out += ch;
        }
    }
  }
  out += '"';
}

void appendKeyName(std::string& out, std::string_view name) {
  for (char ch : name) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c > 0x7E || c == '%' || c == '[' || c == ']') {
      out += '%';
      appendHexByte(out, c);
    } else {
      out += ch;
    }
  }
}

void appendHexList(std::string& out, std::string_view bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i) out += ',';
    appendHexByte(out, static_cast<unsigned char>(bytes[i]));
  }
}

void appendValue(std::string& out, std::string_view name, const TRegValue& v) {
  if (name.empty())
    out += '@';
  else
    appendQuoted(out, name);
  out += '=';
  uint32_t number;
  switch (v.Type) {
    case regString:
    case regExpandString:
      out += v.Type == regString ? "sz:" : "expand_sz:";
      appendQuoted(out, v.Data);
      break;
    case regDWord:
    case regDWordBigEndian:
      if (v.GetDWord(number)) {
        out += v.Type == regDWord ? "dword:" : "dword_be:";
        out += Format("%.8x", number);
        break;
      }
      out += Format("hex(%u):", v.Type);
      appendHexList(out, v.Data);
      break;
    case regBinary:
      out += "binary:";
      appendHexList(out, v.Data);
      break;
    case regMultiString:
      if (v.Data.empty() || v.Data.back() == '\0') {
        out += "multi_sz:";
        bool first = true;
        for (const std::string& item : v.MultiStringItems()) {
          if (!first) out += ',';
          first = false;
          appendQuoted(out, item);
        }
        break;
      }
      [[fallthrough]];
    default:
      out += Format("hex(%u):", v.Type);
      appendHexList(out, v.Data);
  }
  out += '\n';
}

void appendNode(std::string& out, std::string& path, const TRegNode& node, bool isRoot) {
  if (isRoot && node.Values.empty()) {
    // The root exists anyway; only its values need a line.
  } else {
    out += '[';
    out += path;
    out += "]\n";
    for (const auto& [name, value] : node.Values) appendValue(out, name, value);
  }
  for (const auto& [name, child] : node.SubKeys) {
    size_t mark = path.size();
    if (!path.empty()) path += '\\';
    appendKeyName(path, name);
    appendNode(out, path, *child, false);
    path.resize(mark);
  }
}

}  // namespace

std::string SerializeRegistry(const TRegNode& root) {
  std::string out = Format("%s %d\n", kRegFileMagic, kRegFileVersion);
  std::string path;
  appendNode(out, path, root, true);
  return out;
}

// ---- reading ---------------------------------------------------------------

namespace {

// Reads one line of a settings file; every access is checked against the
// line's end, and every failure raises with the file name and line number.
class RegLineReader {
public:
  RegLineReader(std::string_view line, const std::string& fileName, int lineNo)
      : line_(line), fileName_(fileName), lineNo_(lineNo) {}

  bool AtEnd() const { return pos_ >= line_.size(); }
  char Peek() const { return AtEnd() ? '\0' : line_[pos_]; }
  void Expect(char c, const char* what) {
    if (Peek() != c) Fail(Format("%s expected", what));
    ++pos_;
  }
  bool Skip(char c) {
    if (Peek() != c) return false;
    ++pos_;
    return true;
  }
  std::string_view Word() {
    size_t start = pos_;
    while (!AtEnd() && (std::isalnum(static_cast<unsigned char>(line_[pos_])) || line_[pos_] == '_')) ++pos_;
    return line_.substr(start, pos_ - start);
  }
  [[noreturn]] void Fail(const std::string& what) const {
    throw ERegistryError(Format("Settings file \"%s\" is damaged at line %d: %s", fileName_, lineNo_, what));
  }

  static int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  }
  unsigned char HexByte() {
    if (line_.size() - pos_ < 2) Fail("hex byte expected");
    int hi = HexValue(line_[pos_]), lo = HexValue(line_[pos_ + 1]);
    if (hi < 0 || lo < 0) Fail("hex byte expected");
    pos_ += 2;
    return static_cast<unsigned char>(hi * 16 + lo);
  }

  std::string Quoted() {
    Expect('"', "quote");
    std::string out;
    while (true) {
      if (AtEnd()) Fail("closing quote expected");
      char c = line_[pos_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (AtEnd()) Fail("escape expected");
      char e = line_[pos_++];
      switch (e) {
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 'x': out += static_cast<char>(HexByte()); break;
        default: Fail("unknown escape");
      }
    }
  }

  std::string HexList() {
    std::string out;
    if (AtEnd()) return out;
    while (true) {
      out += static_cast<char>(HexByte());
      if (AtEnd()) return out;
      Expect(',', "comma");
    }
  }

  std::string KeyPath() {
    std::string out;
    while (!AtEnd() && Peek() != ']') {
      char c = line_[pos_++];
      if (c == '%')
        out += static_cast<char>(HexByte());
      else
        out += c;
    }
    return out;
  }

  uint32_t Number() {
    size_t start = pos_;
    uint32_t value = 0;
    auto [end, ec] = std::from_chars(line_.data() + pos_, line_.data() + line_.size(), value, 16);
    if (ec != std::errc() || end == line_.data() + start) Fail("hexadecimal number expected");
    pos_ = static_cast<size_t>(end - line_.data());
    return value;
  }

  unsigned DecimalType() {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(line_.data() + pos_, line_.data() + line_.size(), value, 10);
    if (ec != std::errc() || end == line_.data() + pos_) Fail("value type number expected");
    pos_ = static_cast<size_t>(end - line_.data());
    return value;
  }

private:
  std::string_view line_;
  size_t pos_ = 0;
  const std::string& fileName_;
  int lineNo_;
};

TRegValue parseValueData(RegLineReader& r) {
  std::string_view type = r.Word();
  TRegValue v;
  if (type == "hex") {
    r.Expect('(', "\"(\"");
    v.Type = r.DecimalType();
    r.Expect(')', "\")\"");
    r.Expect(':', "\":\"");
    v.Data = r.HexList();
    return v;
  }
  r.Expect(':', "\":\"");
  if (type == "sz" || type == "expand_sz") {
    v.Type = type == "sz" ? regString : regExpandString;
    v.Data = r.Quoted();
  } else if (type == "dword" || type == "dword_be") {
    v = TRegValue::DWord(r.Number(), type == "dword" ? regDWord : regDWordBigEndian);
  } else if (type == "binary") {
    v.Type = regBinary;
    v.Data = r.HexList();
  } else if (type == "multi_sz") {
    v.Type = regMultiString;
    if (!r.AtEnd()) {
      while (true) {
        v.Data += r.Quoted();
        v.Data += '\0';
        if (r.AtEnd()) break;
        r.Expect(',', "comma");
      }
    }
  } else {
    r.Fail(Format("unknown value type \"%s\"", type));
  }
  return v;
}

}  // namespace

std::unique_ptr<TRegNode> ParseRegistryText(std::string_view text, const std::string& fileName) {
  auto root = std::make_unique<TRegNode>();
  TRegNode* current = root.get();
  size_t pos = 0;
  int lineNo = 0;
  bool sawHeader = false;
  std::vector<std::string_view> names;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) eol = text.size();
    std::string_view line = text.substr(pos, eol - pos);
    pos = eol + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    RegLineReader r(line, fileName, lineNo);
    if (!sawHeader) {
      std::string_view magic = line.substr(0, std::min(line.size(), kRegFileMagic.size()));
      if (magic != kRegFileMagic || line.size() < kRegFileMagic.size() + 2 || line[kRegFileMagic.size()] != ' ')
        r.Fail("not a settings file");
      int version = 0;
      std::string_view num = line.substr(kRegFileMagic.size() + 1);
      auto [end, ec] = std::from_chars(num.data(), num.data() + num.size(), version);
      if (ec != std::errc() || end != num.data() + num.size()) r.Fail("bad format version");
      if (version > kRegFileVersion)
        r.Fail(Format("format version %d is newer than this program's (%d)", version, kRegFileVersion));
      sawHeader = true;
      continue;
    }
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      r.Expect('[', "\"[\"");
      std::string path = r.KeyPath();
      r.Expect(']', "\"]\"");
      if (!r.AtEnd()) r.Fail("text after the key");
      if (!SplitRegKeyPath(path, names)) r.Fail("bad key path");
      current = root.get();
      for (std::string_view name : names) current = &current->AddSubKey(name);
      continue;
    }
    std::string name;
    if (!r.Skip('@')) {
      name = r.Quoted();
      if (name.size() > kRegMaxValueNameLength) r.Fail("value name too long");
    }
    r.Expect('=', "\"=\"");
    TRegValue value = parseValueData(r);
    if (!r.AtEnd()) r.Fail("text after the value");
    current->SetValue(name, value);
  }
  if (!sawHeader && !text.empty()) throw ERegistryError(Format("Settings file \"%s\" is damaged: not a settings file", fileName));
  return root;
}
