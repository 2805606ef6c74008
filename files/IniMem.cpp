#include "files/IniMem.h"

#include <algorithm>

#include "platform/CodePage.h"
#include "platform/Format.h"
#include "platform/StringList.h"
#include "platform/Streams.h"
#include "util/DiagLog.h"
#include "util/DualStringList.h"

namespace {

// At most this many listeners are told of one change.
constexpr size_t kMaxListenersVisited = 4096;

bool isIniBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
bool isLineBreak(char c) { return c == '\r' || c == '\n'; }

size_t skipBlanks(std::string_view s, size_t pos) {
  while (pos < s.size() && isIniBlank(s[pos])) ++pos;
  return pos;
}

bool isBlankLine(std::string_view line) { return skipBlanks(line, 0) == line.size(); }

bool isCommentOrBlank(std::string_view line) {
  size_t p = skipBlanks(line, 0);
  return p == line.size() || line[p] == ';' || line[p] == '#';
}

// The length of the line break at s[pos] (CR LF, LF or CR), 0 if none.
size_t breakLength(std::string_view s, size_t pos) {
  if (pos >= s.size()) return 0;
  if (s[pos] == '\r') return pos + 1 < s.size() && s[pos + 1] == '\n' ? 2 : 1;
  return s[pos] == '\n' ? 1 : 0;
}

std::string detectLineBreak(std::string_view text) {
  size_t p = text.find_first_of("\r\n");
  if (p == std::string_view::npos) return "\n";
  return std::string(text.substr(p, breakLength(text, p)));
}

std::string upperName(std::string_view name) { return AnsiCodePage().UpperCase(name); }

bool holdsLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

bool isHeaderLine(std::string_view line) {
  size_t p = skipBlanks(line, 0);
  return p < line.size() && line[p] == '[';
}

// A section's lines must read back as lines of that section.
void checkLineText(std::string_view text) {
  if (holdsLineBreak(text)) throw EIniFileException("A line of a section cannot hold a line break");
  if (isHeaderLine(text)) throw EIniFileException(Format("The line \"%s\" would start a section", text));
}

// Adds a line and its break to a body being built.
void appendLine(std::string& body, std::string_view line, const std::string& lineBreak) {
  checkLineText(line);
  body += line;
  body += lineBreak;
}

void checkBodyText(std::string_view body) {
  size_t pos = 0;
  while (pos < body.size()) {
    size_t eol = body.find_first_of("\r\n", pos);
    if (eol == std::string_view::npos) eol = body.size();
    if (isHeaderLine(body.substr(pos, eol - pos)))
      throw EIniFileException(Format("The line \"%s\" would start a section", body.substr(pos, eol - pos)));
    pos = eol + breakLength(body, eol);
  }
}

}  // namespace

// ---- TMemIniSection --------------------------------------------------------

TMemIniSection::TMemIniSection(TMemoryIniFile* owner, std::string name, std::string header, std::string headerBreak)
    : owner_(owner), name_(std::move(name)), header_(std::move(header)), headerBreak_(std::move(headerBreak)) {
  rebuildIndex();
}

void TMemIniSection::rebuildIndex() {
  lineStarts_.clear();
  size_t pos = 0;
  while (pos < body_.size()) {
    lineStarts_.push_back(pos);
    size_t eol = body_.find_first_of("\r\n", pos);
    if (eol == std::string::npos) {
      pos = body_.size();
      break;
    }
    pos = eol + breakLength(body_, eol);
  }
  lineStarts_.push_back(body_.size());
}

bool TMemIniSection::endsWithBreak() const { return !body_.empty() && isLineBreak(body_.back()); }

void TMemIniSection::changed() {
  if (owner_) owner_->sectionChanged();
}

std::string_view TMemIniSection::Line(int index) const {
  if (index < 0 || index >= LineCount()) return {};
  std::string_view line(body_.data() + lineStarts_[static_cast<size_t>(index)],
                        lineStarts_[static_cast<size_t>(index) + 1] - lineStarts_[static_cast<size_t>(index)]);
  while (!line.empty() && isLineBreak(line.back())) line.remove_suffix(1);
  return line;
}

std::string_view TMemIniSection::ValueOfLine(std::string_view line) {
  size_t eq = line.find('=');
  if (eq == std::string_view::npos) return {};
  size_t start = skipBlanks(line, eq + 1);
  size_t end = line.size();
  while (end > start && isIniBlank(line[end - 1])) --end;
  return line.substr(start, end - start);
}

void TMemIniSection::SetBody(std::string body) {
  checkBodyText(body);
  body_ = std::move(body);
  rebuildIndex();
  changed();
}

void TMemIniSection::SetLine(int index, std::string_view text) {
  if (index < 0 || index >= LineCount()) return;
  checkLineText(text);
  size_t start = lineStarts_[static_cast<size_t>(index)];
  size_t length = Line(index).size();
  body_.replace(start, length, text);
  if (text.empty()) {
    rebuildIndex();  // an empty line may let a CR and an LF join
  } else {
    for (size_t j = static_cast<size_t>(index) + 1; j < lineStarts_.size(); ++j) lineStarts_[j] = lineStarts_[j] - length + text.size();
  }
  changed();
}

int TMemIniSection::IndexOfKey(std::string_view key) const {
  if (key.empty()) return -1;
  const auto& upper = AnsiCodePage().UpperTable();
  const unsigned char first = upper[static_cast<unsigned char>(key[0])];
  for (int i = 0, n = LineCount(); i < n; ++i) {
    std::string_view line = Line(i);
    size_t p = skipBlanks(line, 0);
    if (line.size() - p <= key.size() || upper[static_cast<unsigned char>(line[p])] != first) continue;
    bool same = true;
    for (size_t k = 1; k < key.size() && same; ++k)
      same = upper[static_cast<unsigned char>(line[p + k])] == upper[static_cast<unsigned char>(key[k])];
    if (!same) continue;
    size_t after = skipBlanks(line, p + key.size());
    if (after < line.size() && line[after] == '=') return i;
  }
  return -1;
}

int TMemIniSection::AddLine(std::string_view text) {
  checkLineText(text);
  int count = LineCount();
  int at = count;
  while (at > 0 && isBlankLine(Line(at - 1))) --at;
  const std::string lb = owner_ ? owner_->LineBreak() : std::string("\n");
  // A CR may join an LF next to it into one line break: then index anew.
  bool reindex = text.empty() || lb == "\r";
  if (at == count && !body_.empty() && !endsWithBreak()) {
    // At the end of a body without a final line break (the end of a file
    // without one): the break goes before the new line, which lacks one too.
    body_ += lb;
    body_ += text;
    reindex = true;
  } else if (at == count) {
    body_ += text;
    body_ += lb;
    if (!reindex) lineStarts_.push_back(body_.size());  // the old end is the new line's start
  } else {
    size_t start = lineStarts_[static_cast<size_t>(at)];
    size_t length = text.size() + lb.size();
    body_.insert(start, std::string(text) + lb);
    if (!reindex) {
      lineStarts_.insert(lineStarts_.begin() + at, start);
      for (size_t j = static_cast<size_t>(at) + 1; j < lineStarts_.size(); ++j) lineStarts_[j] += length;
    }
  }
  if (reindex) rebuildIndex();
  changed();
  return at;
}

bool TMemIniSection::DeleteLine(int index) {
  if (index < 0 || index >= LineCount()) return false;
  size_t start = lineStarts_[static_cast<size_t>(index)];
  size_t length = lineStarts_[static_cast<size_t>(index) + 1] - start;
  body_.erase(start, length);
  if (start > 0 && start < body_.size() && body_[start - 1] == '\r' && body_[start] == '\n') {
    rebuildIndex();  // a CR and an LF have become one line break
  } else {
    lineStarts_.erase(lineStarts_.begin() + index);
    for (size_t j = static_cast<size_t>(index); j < lineStarts_.size(); ++j) lineStarts_[j] -= length;
  }
  changed();
  return true;
}

void TMemIniSection::Clear() { SetBody(std::string()); }

void TMemIniSection::ListLines(TStrings& strings, bool whole) const {
  strings.BeginUpdate();
  try {
    for (int i = 0, n = LineCount(); i < n; ++i) {
      std::string_view line = Line(i);
      if (isCommentOrBlank(line)) continue;
      size_t p = skipBlanks(line, 0);
      if (whole) {
        strings.Add(std::string(line.substr(p)));
        continue;
      }
      size_t eq = line.find('=', p);
      if (eq == std::string_view::npos) continue;
      size_t end = eq;
      while (end > p && isIniBlank(line[end - 1])) --end;
      if (end > p) strings.Add(std::string(line.substr(p, end - p)));
    }
  } catch (...) {
    strings.EndUpdate();
    throw;
  }
  strings.EndUpdate();
}

void TMemIniSection::Assign(const TStrings& strings) {
  const std::string lb = owner_ ? owner_->LineBreak() : std::string("\n");
  std::string body;
  for (int i = 0; i < strings.Count(); ++i) appendLine(body, strings.Get(i), lb);
  SetBody(std::move(body));
}

void TMemIniSection::Assign(const TDualStringList& pairs) {
  const std::string lb = owner_ ? owner_->LineBreak() : std::string("\n");
  std::string body;
  for (int i = 0; i < pairs.Count(); ++i) appendLine(body, pairs.Name(i) + "=" + pairs.Value(i), lb);
  SetBody(std::move(body));
}

void TMemIniSection::AssignTo(TStrings& strings) const { strings.SetText(body_); }

// ---- TMemoryIniFile: reading -----------------------------------------------

TMemoryIniFile::TMemoryIniFile(const std::string& fileName) : TCustomIniFile(fileName) {
  if (!fileName.empty()) readFile();
}

TMemoryIniFile::~TMemoryIniFile() {
  if (modified_ && saveOnDestroy_ && !readOnly_ && !FileName().empty() && TFileStamp::Of(FileName()) == stamp_) {
    try {
      UpdateFile();
    } catch (...) {
      // A destructor cannot raise; the file on disk stays as it was.
      const TLogSender sender{FileName(), "TMemoryIniFile"};
      LogException(&sender, "saving settings on destroy");
    }
  }
}

void TMemoryIniFile::readFile() {
  std::string text;
  TFileStamp stamp = TFileStamp::Of(FileName());
  if (stamp.Exists) {
    try {
      TFileStream in(FileName(), fmOpenRead);
      int64_t size = in.Size();
      if (size > kMaxTextSize)
        throw EIniFileException(Format("The file \"%s\" is too large for a settings file (%d bytes)", FileName(), size));
      text.resize(static_cast<size_t>(size));
      // Read goes on to the end of the file; less means it was cut meanwhile.
      text.resize(static_cast<size_t>(in.Read(text.data(), size)));
      // The stamp of what was read, even if the file was replaced meanwhile.
      stamp = TFileStamp::OfHandle(in.Handle());
    } catch (const EIniFileException&) {
      throw;
    } catch (const Exception& e) {
      throw EIniFileException(e.Message());
    }
  }
  parse(text);
  stamp_ = stamp;
  modified_ = false;
}

void TMemoryIniFile::parse(std::string_view text) {
  sections_.clear();
  leading_.clear();
  invalidateIndex();
  lineBreak_ = detectLineBreak(text);
  TMemIniSection* current = nullptr;
  size_t bodyStart = 0;
  auto finishBody = [&](size_t end) {
    std::string body(text.substr(bodyStart, end - bodyStart));
    if (current) {
      current->body_ = std::move(body);
      current->rebuildIndex();
    } else {
      leading_ = std::move(body);
    }
  };
  size_t pos = 0;
  while (pos < text.size()) {
    size_t lineStart = pos;
    size_t contentEnd = text.find_first_of("\r\n", pos);
    if (contentEnd == std::string_view::npos) contentEnd = text.size();
    size_t next = contentEnd + breakLength(text, contentEnd);
    std::string_view content = text.substr(lineStart, contentEnd - lineStart);
    size_t p = skipBlanks(content, 0);
    if (p < content.size() && content[p] == '[') {
      finishBody(lineStart);
      size_t close = content.find(']', p + 1);
      std::string name(content.substr(p + 1, (close == std::string_view::npos ? content.size() : close) - p - 1));
      sections_.push_back(std::make_unique<TMemIniSection>(this, std::move(name), std::string(content),
                                                           std::string(text.substr(contentEnd, next - contentEnd))));
      current = sections_.back().get();
      bodyStart = next;
    }
    pos = next;
  }
  finishBody(text.size());
}

std::string TMemoryIniFile::GetText() const {
  size_t total = leading_.size();
  for (const auto& s : sections_) total += s->header_.size() + s->body_.size() + 4;
  std::string out;
  out.reserve(total);
  out += leading_;
  for (const auto& s : sections_) {
    if (!out.empty() && !isLineBreak(out.back())) out += lineBreak_;
    out += s->header_;
    const std::string& headerBreak = s->headerBreak_.empty() && !s->body_.empty() ? lineBreak_ : s->headerBreak_;
    out += headerBreak;
    // A CR ending the header and an LF starting the body would read back as
    // one line break, losing the body's first line: write the CR as CR LF.
    if (headerBreak == "\r" && !s->body_.empty() && s->body_[0] == '\n') out += '\n';
    out += s->body_;
  }
  return out;
}

TMemIniSection* TMemoryIniFile::FindSection(std::string_view name) {
  if (!indexValid_) {
    index_.clear();
    for (size_t i = 0; i < sections_.size(); ++i) index_.emplace(upperName(sections_[i]->name_), i);
    indexValid_ = true;
  }
  auto it = index_.find(upperName(name));
  return it == index_.end() ? nullptr : sections_[it->second].get();
}

std::string TMemoryIniFile::ReadString(const std::string& section, const std::string& ident, const std::string& def) {
  TMemIniSection* s = FindSection(section);
  if (!s) return def;
  int i = s->IndexOfKey(ident);
  if (i < 0) return def;
  return std::string(TMemIniSection::ValueOfLine(s->Line(i)));
}

void TMemoryIniFile::ReadSection(const std::string& section, TStrings& strings) {
  if (TMemIniSection* s = FindSection(section)) s->ListLines(strings, false);
}

void TMemoryIniFile::ReadSections(TStrings& strings) {
  strings.BeginUpdate();
  try {
    for (const auto& s : sections_) strings.Add(s->name_);
  } catch (...) {
    strings.EndUpdate();
    throw;
  }
  strings.EndUpdate();
}

void TMemoryIniFile::ReadSectionValues(const std::string& section, TStrings& strings) {
  if (TMemIniSection* s = FindSection(section)) s->ListLines(strings, true);
}

bool TMemoryIniFile::SectionExists(const std::string& section) { return FindSection(section) != nullptr; }

bool TMemoryIniFile::ValueExists(const std::string& section, const std::string& ident) {
  TMemIniSection* s = FindSection(section);
  return s && s->IndexOfKey(ident) >= 0;
}

// ---- TMemoryIniFile: writing -----------------------------------------------

void TMemoryIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value) {
  if (holdsLineBreak(section) || section.find(']') != std::string::npos)
    throw EIniFileException(Format("Invalid section name \"%s\"", section));
  if (ident.empty() || holdsLineBreak(ident) || ident.find('=') != std::string::npos || isIniBlank(ident[0]) ||
      ident[0] == '[' || ident[0] == ';' || ident[0] == '#')
    throw EIniFileException(Format("Invalid key name \"%s\"", ident));
  if (holdsLineBreak(value)) throw EIniFileException(Format("The value of \"%s\" cannot hold a line break", ident));
  if (readOnly_) return;
  std::string line = ident + "=" + value;
  BeginUpdate();
  try {
    TMemIniSection& s = sectionForWrite(section);
    int i = s.IndexOfKey(ident);
    if (i < 0)
      s.AddLine(line);
    else if (s.Line(i) != line)
      s.SetLine(i, line);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

TMemIniSection& TMemoryIniFile::sectionForWrite(const std::string& name) {
  if (TMemIniSection* s = FindSection(name)) return *s;
  if (!sections_.empty()) {
    // Keep the new section apart from the last one by a blank line.
    TMemIniSection& last = *sections_.back();
    if (!last.body_.empty()) {
      if (!last.endsWithBreak()) last.body_ += lineBreak_;
      if (!isBlankLine(last.Line(last.LineCount() - 1))) last.body_ += lineBreak_;
      last.rebuildIndex();
    }
  }
  sections_.push_back(std::make_unique<TMemIniSection>(this, name, "[" + name + "]", lineBreak_));
  invalidateIndex();
  sectionChanged();
  return *sections_.back();
}

void TMemoryIniFile::EraseSection(const std::string& section) {
  if (readOnly_) return;
  TMemIniSection* s = FindSection(section);
  if (!s) return;
  sections_.erase(std::find_if(sections_.begin(), sections_.end(), [s](const auto& p) { return p.get() == s; }));
  invalidateIndex();
  sectionChanged();
}

void TMemoryIniFile::DeleteKey(const std::string& section, const std::string& ident) {
  if (readOnly_) return;
  TMemIniSection* s = FindSection(section);
  if (!s) return;
  int i = s->IndexOfKey(ident);
  if (i >= 0) s->DeleteLine(i);
}

void TMemoryIniFile::UpdateFile() {
  if (readOnly_ || FileName().empty()) return;
  SaveToFile(FileName());
  stamp_ = TFileStamp::Of(FileName());
  modified_ = false;
}

void TMemoryIniFile::SaveToFile(const std::string& fileName) const {
  TReplaceStream out(fileName);
  out.WriteString(GetText());
  out.Commit();
}

bool TMemoryIniFile::ReloadIfChanged(bool reload) {
  if (FileName().empty() || TFileStamp::Of(FileName()) == stamp_) return false;
  if (reload) {
    readFile();
    changePending_ = true;
    if (updateDepth_ == 0) sendChange();
  }
  return true;
}

// ---- updates and listeners -------------------------------------------------

void TMemoryIniFile::BeginUpdate() { ++updateDepth_; }

void TMemoryIniFile::EndUpdate() {
  if (updateDepth_ > 0 && --updateDepth_ == 0 && changePending_) sendChange();
}

void TMemoryIniFile::sectionChanged() {
  modified_ = true;
  changePending_ = true;
  if (updateDepth_ == 0) sendChange();
}

void TMemoryIniFile::sendChange() {
  changePending_ = false;
  // A copy, so that a listener may add or remove listeners.
  auto listeners = listeners_;
  size_t visited = 0;
  for (auto& [id, listener] : listeners) {
    if (++visited > kMaxListenersVisited) break;
    try {
      listener(*this, modified_);
    } catch (...) {
      // A listener's failure does not undo the change.
    }
  }
}

int TMemoryIniFile::AddChangeListener(TChangeListener listener) {
  int id = nextListenerId_++;
  listeners_.emplace_back(id, std::move(listener));
  return id;
}

void TMemoryIniFile::RemoveChangeListener(int id) {
  std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}

// ---- merging, streams and lists --------------------------------------------

void TMemoryIniFile::Merge(TCustomIniFile& source, bool wholeSections) {
  if (readOnly_ || &source == this) return;
  auto* memorySource = dynamic_cast<TMemoryIniFile*>(&source);
  TStringList names;
  source.ReadSections(names);
  BeginUpdate();
  try {
    for (int i = 0; i < names.Count(); ++i) {
      const std::string name = names.Get(i);
      if (wholeSections) {
        std::string body;
        if (memorySource) {
          body = memorySource->FindSection(name)->GetBody();
        } else {
          TStringList lines;
          source.ReadSectionValues(name, lines);
          for (int k = 0; k < lines.Count(); ++k) appendLine(body, lines.Get(k), lineBreak_);
        }
        TMemIniSection& target = sectionForWrite(name);
        if (target.GetBody() != body) target.SetBody(std::move(body));
      } else {
        TStringList keys;
        source.ReadSection(name, keys);
        for (int k = 0; k < keys.Count(); ++k) WriteString(name, keys.Get(k), source.ReadString(name, keys.Get(k), ""));
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TMemoryIniFile::SetText(std::string_view text) {
  if (text.size() > static_cast<size_t>(kMaxTextSize))
    throw EIniFileException(Format("The text is too large for a settings file (%d bytes)", static_cast<int64_t>(text.size())));
  parse(text);
  sectionChanged();
}

void TMemoryIniFile::LoadFromStream(TStream& stream) {
  int64_t size = stream.Size() - stream.Position();
  if (size > kMaxTextSize)
    throw EIniFileException(Format("The stream is too large for a settings file (%d bytes)", size));
  std::string text(static_cast<size_t>(std::max<int64_t>(size, 0)), '\0');
  stream.ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
  SetText(text);
}

void TMemoryIniFile::LoadFromStrings(const TStrings& strings) {
  std::string text;
  for (int i = 0; i < strings.Count(); ++i) {
    text += strings.Get(i);
    text += lineBreak_;
  }
  std::string lb = lineBreak_;
  SetText(text);
  lineBreak_ = lb;  // a list has no line breaks of its own to detect
}

void TMemoryIniFile::SaveToStream(TStream& stream) const { stream.WriteString(GetText()); }

void TMemoryIniFile::SaveToStrings(TStrings& strings) const { strings.SetText(GetText()); }
