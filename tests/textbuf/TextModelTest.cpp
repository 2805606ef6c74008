// Random edits checked after every step against two plain models: the text
// as one string, and the lines as (text, line end) pairs following the
// buffer's rules for splitting and joining lines. Then every step is undone
// back to the start and redone to the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/RefCounted.h"
#include "textbuf/EditBuffer.h"
#include "textbuf/EditPos.h"
#include "textbuf/TextUndo.h"

namespace {

struct ModelLine {
  std::string text;
  int lineEnd = -1;  // TLineEndKind or -1
  int32_t Length() const { return static_cast<int32_t>(text.size()) + (lineEnd < 0 ? 0 : LineEndLength(lineEnd)); }
  std::string Full() const { return text + (lineEnd < 0 ? "" : std::string(LineEndStrings[lineEnd])); }
};

class LineModel {
public:
  std::vector<ModelLine> lines;

  void Load(const std::string& s) {
    lines.assign(1, ModelLine{});
    size_t p = 0;
    while (p < s.size()) {
      size_t q = s.find_first_of("\r\n", p);
      if (q == std::string::npos) {
        lines.back().text += s.substr(p);
        break;
      }
      lines.back().text += s.substr(p, q - p);
      TLineEndKind kind = RecogniseLineEnd(s.data() + q, q + 1 < s.size());
      lines.back().lineEnd = kind;
      p = q + LineEndLength(kind);
      if (p < s.size()) lines.emplace_back();
    }
    if (s.empty()) lines.assign(1, ModelLine{});
  }

  std::string Text() const {
    std::string s;
    for (const auto& l : lines) s += l.Full();
    return s;
  }
  int32_t Total() const {
    int32_t t = 0;
    for (const auto& l : lines) t += l.Length();
    return t;
  }
  bool EndsWithLineEnd() const { return !lines.empty() && lines.back().lineEnd >= 0; }

  // Where an offset lies (as a position maps it, before column clamping).
  void Map(int32_t offset, int32_t& line, int32_t& col) const {
    if (offset == Total() && EndsWithLineEnd()) {
      line = static_cast<int32_t>(lines.size());
      col = 0;
      return;
    }
    int32_t start = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
      if (offset < start + lines[i].Length() || i + 1 == lines.size()) {
        line = static_cast<int32_t>(i);
        col = offset - start;
        return;
      }
      start += lines[i].Length();
    }
  }
  int32_t Start(int32_t line) const {
    int32_t s = 0;
    for (int32_t i = 0; i < line; ++i) s += lines[static_cast<size_t>(i)].Length();
    return s;
  }
  // SetPos: the column never lies inside the line end.
  int32_t Place(int32_t offset, int32_t& line, int32_t& col) const {
    Map(offset, line, col);
    if (line < static_cast<int32_t>(lines.size()))
      col = std::min<int32_t>(col, static_cast<int32_t>(lines[static_cast<size_t>(line)].text.size()));
    return Start(line) + col;
  }

  void Insert(int32_t line, int32_t col, const std::string& s) {
    size_t p = 0;
    while (p < s.size()) {
      if (line == static_cast<int32_t>(lines.size())) lines.emplace_back();
      ModelLine& l = lines[static_cast<size_t>(line)];
      size_t q = s.find_first_of("\r\n", p);
      size_t end = q == std::string::npos ? s.size() : q;
      l.text.insert(static_cast<size_t>(col), s, p, end - p);
      col += static_cast<int32_t>(end - p);
      if (q == std::string::npos) break;
      TLineEndKind kind = RecogniseLineEnd(s.data() + q, q + 1 < s.size());
      if (l.lineEnd >= 0 || col < static_cast<int32_t>(l.text.size())) {
        ModelLine rest{l.text.substr(static_cast<size_t>(col)), l.lineEnd};
        l.text.resize(static_cast<size_t>(col));
        l.lineEnd = kind;
        lines.insert(lines.begin() + line + 1, rest);
      } else {
        l.lineEnd = kind;
      }
      ++line;
      col = 0;
      p = q + LineEndLength(kind);
    }
  }

  // Deletes from (line, col); returns whether the first line lost its end.
  bool DeleteInLine(ModelLine& l, int32_t col, int32_t k) {
    const int32_t textLen = static_cast<int32_t>(l.text.size());
    const int32_t end = col + k;
    std::string full = l.Full();
    l.text = full.substr(0, static_cast<size_t>(std::min(col, textLen))) +
             (end < textLen ? full.substr(static_cast<size_t>(end), static_cast<size_t>(textLen - end)) : "");
    if (l.lineEnd < 0 || end <= textLen) return false;
    const int32_t eolLen = LineEndLength(l.lineEnd);
    const int32_t a = std::max(col, textLen), b = std::min(end, textLen + eolLen);
    if (a == textLen && b == textLen + eolLen) {
      l.lineEnd = -1;
      return true;
    }
    char kept = a == textLen ? LineEndStrings[l.lineEnd][1] : LineEndStrings[l.lineEnd][0];
    l.lineEnd = SingleLineEnd(kept);
    return false;
  }

  void Delete(int32_t line, int32_t col, int32_t count) {
    auto L = static_cast<size_t>(line);
    int32_t k = std::min(count, lines[L].Length() - col);
    bool lost = DeleteInLine(lines[L], col, k);
    int32_t remaining = count - k;
    while (remaining > 0 && L + 1 < lines.size() && lines[L + 1].Length() <= remaining) {
      remaining -= lines[L + 1].Length();
      lines.erase(lines.begin() + static_cast<long>(L) + 1);
    }
    if (remaining > 0 && L + 1 < lines.size()) DeleteInLine(lines[L + 1], 0, remaining);
    if (lost && L + 1 < lines.size()) {
      lines[L].text += lines[L + 1].text;
      lines[L].lineEnd = lines[L + 1].lineEnd;
      lines.erase(lines.begin() + static_cast<long>(L) + 1);
    }
    // An emptied last line after a line end is the open position again.
    if (lines.size() > 1 && lines.back().Length() == 0) lines.pop_back();
  }
};

class TextGenerator {
public:
  explicit TextGenerator(uint32_t seed) : rng_(seed) {}
  uint32_t Below(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(rng_); }

  std::string LineEnd() {
    static const char* const ends[] = {"\r\n", "\n", "\r", "\n\r", "\r\r", "\n\n", "\r\n\r\n"};
    return ends[Below(7)];
  }
  std::string Piece() {
    switch (Below(10)) {
      case 0: return std::string(1 + Below(40), ' ');
      case 1: return std::string(250 + Below(300), ' ');
      case 2: return LineEnd();
      case 3: return "\t" + Word();
      default: return Word() + " ";
    }
  }
  std::string Word() {
    std::string w;
    for (uint32_t i = 0, n = 1 + Below(8); i < n; ++i) w += static_cast<char>('a' + Below(26));
    return w;
  }
  std::string Text(uint32_t pieces) {
    std::string s;
    for (uint32_t i = 0; i < pieces; ++i) s += Piece();
    return s;
  }
  // A line over 60000 characters with a blank run inside and at its end.
  std::string LongLine() {
    std::string s;
    while (s.size() < 61000 + Below(9000)) s += Word() + (Below(50) == 0 ? std::string(20, ' ') : " ");
    return s + std::string(40, ' ');
  }
  std::string Insertion() {
    switch (Below(12)) {
      case 0: return std::string(1, "\r\n"[Below(2)]);
      case 1: return LongLine();
      case 2: return LineEnd();
      case 3: case 4: return std::string(1, static_cast<char>('a' + Below(26)));
      default: return Text(1 + Below(6));
    }
  }

private:
  std::mt19937 rng_;
};

// Sums the deltas reported for a step.
class Tracker : public TBufferChangeHandler {
public:
  int64_t chars = 0, lines = 0;
  void BufferChanged(TEditBuffer*, const TChangeInfo* change) override {
    if (!change) return;
    chars += change->CharDelta;
    lines += change->LineDelta;
  }
};

// The lines a position can stand on: every line record, and the open line
// after a final line end.
int32_t PositionLines(const TEditBuffer& buffer) {
  return buffer.LineCount() + (buffer.EndsWithLineEnd() ? 1 : 0);
}

void ExpectMatchesModel(TEditBuffer& buffer, const LineModel& model, const std::string& flat, const std::string& where,
                        bool everyLine = true) {
  SCOPED_TRACE(where);
  ASSERT_EQ(buffer.GetAllText(), flat);
  ASSERT_EQ(model.Text(), flat) << "the line model went out of step with the plain text";
  ASSERT_EQ(buffer.LineCount(), static_cast<int32_t>(model.lines.size()));
  ASSERT_EQ(buffer.TotalLength(), static_cast<int32_t>(flat.size()));
  if (!everyLine) return;
  std::string fault;
  ASSERT_TRUE(buffer.CheckIntegrity(&fault)) << fault;
  for (int32_t i = 0; i < buffer.LineCount(); ++i) {
    ASSERT_EQ(buffer.LineEndOf(i), model.lines[static_cast<size_t>(i)].lineEnd) << "line " << i;
    ASSERT_EQ(buffer.LineTextLength(i), static_cast<int32_t>(model.lines[static_cast<size_t>(i)].text.size())) << "line " << i;
  }
}

void RunModel(uint32_t seed, int steps, uint32_t pieces = 60, int checkEvery = 1) {
  TextGenerator gen(seed);
  TRefPtr<TEditBuffer> buffer(new TEditBuffer());
  std::string flat = gen.Text(pieces) + gen.LongLine() + gen.LineEnd() + gen.Text(pieces);
  buffer->SetText(flat);
  LineModel model;
  model.Load(flat);
  ExpectMatchesModel(*buffer, model, flat, "after loading");

  TEditPos editor(buffer.get());
  editor.AttachUndo(buffer->UndoLog());
  // Positions that only follow the text.
  std::vector<std::unique_ptr<TEditPos>> followers;
  std::vector<int64_t> expected;
  for (int i = 0; i < 4; ++i) {
    followers.push_back(std::make_unique<TEditPos>(buffer.get()));
    int64_t at = gen.Below(static_cast<uint32_t>(flat.size()) + 1);
    followers.back()->SetPos(at);
    expected.push_back(followers.back()->Position());
  }

  std::vector<size_t> hashes{std::hash<std::string>()(flat)};
  const std::string initial = flat;
  Tracker tracker;
  buffer->AddChangeHandler(&tracker);
  for (int step = 0; step < steps; ++step) {
    tracker.chars = tracker.lines = 0;
    const int32_t linesBefore = PositionLines(*buffer);
    const auto total = static_cast<int32_t>(flat.size());
    // Half the places are chosen by line, so that the long lines do not take
    // most of the edits and line ends are hit often.
    int32_t wanted;
    if (gen.Below(2) == 0) {
      const auto line = static_cast<int32_t>(gen.Below(static_cast<uint32_t>(model.lines.size())));
      const auto& l = model.lines[static_cast<size_t>(line)];
      const int32_t col = gen.Below(2) ? static_cast<int32_t>(l.text.size()) - static_cast<int32_t>(gen.Below(3))
                                       : static_cast<int32_t>(gen.Below(static_cast<uint32_t>(l.Length()) + 1));
      wanted = std::clamp(model.Start(line) + col, 0, total);
    } else {
      wanted = static_cast<int32_t>(gen.Below(static_cast<uint32_t>(total) + 1));
    }
    const uint32_t op = gen.Below(20);
    std::string what;
    buffer->UndoLog()->BreakMerge();
    bool changed = false;
    if (op < 9) {
      std::string s = gen.Insertion();
      int32_t line, col;
      const int32_t at = model.Place(wanted, line, col);
      editor.SetPos(wanted);
      ASSERT_FALSE(editor.Invalid());
      ASSERT_EQ(editor.Position(), at);
      ASSERT_TRUE(editor.InsertText(s));
      ASSERT_EQ(editor.Position(), at + static_cast<int32_t>(s.size()));
      model.Insert(line, col, s);
      flat.insert(static_cast<size_t>(at), s);
      for (auto& e : expected)
        if (e >= at) e += static_cast<int64_t>(s.size());
      what = "insert " + std::to_string(s.size()) + " at " + std::to_string(at);
      changed = true;
    } else if (op < 16) {
      int32_t count = op < 14 ? 1 + static_cast<int32_t>(gen.Below(30)) : 1 + static_cast<int32_t>(gen.Below(70000));
      int32_t line, col;
      const int32_t at = model.Place(wanted, line, col);
      editor.SetPos(wanted);
      const bool ok = editor.DeleteText(count);
      ASSERT_EQ(ok, at < total) << "delete at " << at;
      if (ok) {
        count = std::min(count, total - at);
        model.Delete(line, col, count);
        flat.erase(static_cast<size_t>(at), static_cast<size_t>(count));
        for (auto& e : expected)
          if (e >= at) e = e < at + count ? at : e - count;
        changed = true;
      }
      what = "delete " + std::to_string(count) + " at " + std::to_string(at);
    } else {
      std::string s = gen.Word();
      int32_t line, col;
      model.Map(wanted, line, col);
      const bool fits = line < static_cast<int32_t>(model.lines.size()) &&
                        col + static_cast<int32_t>(s.size()) <= static_cast<int32_t>(model.lines[static_cast<size_t>(line)].text.size());
      const bool ok = buffer->OverwriteText(wanted, s, true);
      if (fits && model.lines[static_cast<size_t>(line)].text.size() <= 60000) {
        ASSERT_TRUE(ok) << "overwrite at " << wanted;
      }
      if (!fits) {
        ASSERT_FALSE(ok) << "overwrite past the line's text at " << wanted;
      }
      if (ok) {
        model.lines[static_cast<size_t>(line)].text.replace(static_cast<size_t>(col), s.size(), s);
        flat.replace(static_cast<size_t>(wanted), s.size(), s);
        changed = true;
      }
      what = "overwrite at " + std::to_string(wanted);
    }
    ExpectMatchesModel(*buffer, model, flat, "step " + std::to_string(step) + ": " + what, step % checkEvery == 0);
    // What the change records said is what happened.
    ASSERT_EQ(tracker.chars, static_cast<int64_t>(flat.size()) - total) << "step " << step << ": " << what;
    ASSERT_EQ(tracker.lines, PositionLines(*buffer) - linesBefore) << "step " << step << ": " << what;
    for (size_t i = 0; i < followers.size(); ++i) {
      ASSERT_EQ(followers[i]->Position(), expected[i]) << "follower " << i << " after step " << step << ": " << what;
      int32_t line, col;
      model.Map(static_cast<int32_t>(expected[i]), line, col);
      ASSERT_EQ(followers[i]->Line(), line) << "follower " << i << " after step " << step;
      ASSERT_EQ(followers[i]->Column(), col) << "follower " << i << " after step " << step;
    }
    if (changed) hashes.push_back(std::hash<std::string>()(flat));
  }

  buffer->RemoveChangeHandler(&tracker);
  // Back to the start, one record per step, then forward again.
  int32_t start, length;
  for (size_t i = hashes.size() - 1; i > 0; --i) {
    ASSERT_TRUE(buffer->Undo(nullptr, start, length)) << "undo of step record " << i;
    ASSERT_EQ(std::hash<std::string>()(buffer->GetAllText()), hashes[i - 1]) << "after undoing record " << i;
    std::string fault;
    ASSERT_TRUE(buffer->CheckIntegrity(&fault)) << fault;
  }
  EXPECT_FALSE(buffer->CanUndo());
  EXPECT_EQ(buffer->GetAllText(), initial);
  for (size_t i = 1; i < hashes.size(); ++i) {
    ASSERT_TRUE(buffer->Redo(nullptr, start, length)) << "redo of record " << i;
    ASSERT_EQ(std::hash<std::string>()(buffer->GetAllText()), hashes[i]) << "after redoing record " << i;
  }
  EXPECT_FALSE(buffer->CanRedo());
  EXPECT_EQ(buffer->GetAllText(), flat);
}

TEST(TextModel, RandomEditsFollowThePlainModelAndUndoBackToTheStart) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    RunModel(seed, 250);
    if (HasFatalFailure()) return;
  }
}

// Thousands of lines: the offset table works in several blocks.
TEST(TextModel, RandomEditsOnAManyLineText) {
  RunModel(4, 100, 8000, 10);
}

}  // namespace
