#pragma once
// TMemoryIniFile keeps a whole INI file in memory, reads it once and writes
// it back only when asked. Each section keeps its body as raw text, so
// comments, blank lines, key order and line breaks survive a read-modify-write
// cycle; only the lines that change are rewritten, and a file that was not
// changed is written back byte for byte.
//
// Text layout: the text before the first section header is kept as it is
// and written back first (lookups never see it). A header is a line whose
// first non-blank character is "["; the section's name runs to the next "]"
// on that line (or the line's end), untrimmed. The body of a section is
// every line after its header up to the next header line, each with its own
// line break. New lines get the file's line break (the first one in the
// text; LF for a new file).
//
// Edits keep that layout: a new key goes after the last non-blank line of
// its section, and a new section goes at the end, one empty line after the
// previous one. So a file written from scratch is "[A]\nk=1\n\n[B]\nx=2\n"
// and reads back, and is written again, as the same bytes.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "files/CustomIniFile.h"
#include "platform/Registry.h"

class TDualStringList;
class TMemoryIniFile;
class TStream;
class TStrings;

// One section: its name, its header line and its raw body with an index of
// the lines in it.
class TMemIniSection {
public:
  TMemIniSection(TMemoryIniFile* owner, std::string name, std::string header, std::string headerBreak);
  virtual ~TMemIniSection() = default;
  TMemIniSection(const TMemIniSection&) = delete;
  TMemIniSection& operator=(const TMemIniSection&) = delete;

  const std::string& SectionName() const { return name_; }
  const std::string& HeaderLine() const { return header_; }

  virtual const std::string& GetBody() const { return body_; }
  // Replaces the body's text (kept as given) and tells the file. Raises
  // EIniFileException for a body with a header line, which would read back
  // as another section; so do SetLine and AddLine, also for a line break.
  virtual void SetBody(std::string body);
  // Replaces the text of a line; its line break stays.
  virtual void SetLine(int index, std::string_view text);
  // The line holding key, or -1. A line holds key when, after its leading
  // blanks, it starts with key (case ignored) followed by blanks and "=".
  // An empty key holds no line.
  virtual int IndexOfKey(std::string_view key) const;
  // Adds a line after the section's last non-blank line, so that blank lines
  // that separate it from the next section stay at its end. Answers its index.
  virtual int AddLine(std::string_view text);
  virtual bool DeleteLine(int index);
  virtual void Clear();
  // Appends the key names (whole = false) or the whole entry lines (whole =
  // true) of the lines that are neither blank nor comments (";" or "#").
  virtual void ListLines(TStrings& strings, bool whole) const;

  int LineCount() const { return static_cast<int>(lineStarts_.size()) - 1; }
  // A line's text without its line break ("" out of range).
  std::string_view Line(int index) const;
  // The value of an entry line: the text after "=", blanks removed at both ends.
  static std::string_view ValueOfLine(std::string_view line);

  // The body becomes the list's items, each followed by a line break. Like
  // SetLine, raises for an item holding a line break or a header line.
  void Assign(const TStrings& strings);
  // The body becomes the pairs' "name=value" lines; raises as above.
  void Assign(const TDualStringList& pairs);
  void AssignTo(TStrings& strings) const;

private:
  friend class TMemoryIniFile;
  void rebuildIndex();
  bool endsWithBreak() const;
  void changed();

  TMemoryIniFile* owner_;
  std::string name_;
  std::string header_;       // the header line as read, without its break
  std::string headerBreak_;  // "" only for a header at the very end of the text
  std::string body_;
  // Offsets of the start of each line in body_, and body_.size() last.
  std::vector<size_t> lineStarts_;
};

class TMemoryIniFile : public TCustomIniFile {
public:
  using TChangeListener = std::function<void(TMemoryIniFile& file, bool modified)>;

  // Reads the file when it exists; raises EIniFileException when it exists
  // but cannot be read. An empty name gives an object without a file.
  explicit TMemoryIniFile(const std::string& fileName = "");
  ~TMemoryIniFile() override;

  std::string ReadString(const std::string& section, const std::string& ident, const std::string& def) override;
  // Raises EIniFileException for a section name holding CR, LF or "]", and
  // for a key that is empty, holds CR, LF or "=", or starts with a blank,
  // "[", ";" or "#"; and for a value holding CR or LF. Such texts would make
  // lines that read back differently or not at all.
  void WriteString(const std::string& section, const std::string& ident, const std::string& value) override;
  void ReadSection(const std::string& section, TStrings& strings) override;
  void ReadSections(TStrings& strings) override;
  void ReadSectionValues(const std::string& section, TStrings& strings) override;
  bool SectionExists(const std::string& section) override;
  bool ValueExists(const std::string& section, const std::string& ident) override;
  void EraseSection(const std::string& section) override;
  void DeleteKey(const std::string& section, const std::string& ident) override;
  // Writes the file atomically (temporary file, fsync, rename; the file's
  // mode is kept). Raises on failure, leaving the old file, the remembered
  // stamp and the modified flag as they were. A read-only object, or one
  // without a file name, writes nothing.
  void UpdateFile() override;

  // True when the file on disk differs from the one read or written last
  // (identity, size, modification time); with reload, reads it again,
  // dropping unsaved changes.
  bool ReloadIfChanged(bool reload);

  void BeginUpdate();
  // The outermost EndUpdate sends the notifications collected meanwhile, once.
  void EndUpdate();
  int AddChangeListener(TChangeListener listener);
  void RemoveChangeListener(int id);

  // Copies the sections of source into this file: entry by entry, or, with
  // wholeSections, replacing each section's body (comments included when the
  // source is a TMemoryIniFile). Raises EIniFileException for a source
  // entry that would not read back as one line (a value with a line break).
  void Merge(TCustomIniFile& source, bool wholeSections);

  // Replaces the whole content by the text of a stream or a list.
  void LoadFromStream(TStream& stream);
  void LoadFromStrings(const TStrings& strings);
  void SetText(std::string_view text);
  // The serialised file.
  std::string GetText() const;
  void SaveToStream(TStream& stream) const;
  void SaveToStrings(TStrings& strings) const;
  // Writes the text to another file, atomically; the object's own file and
  // state are not touched.
  void SaveToFile(const std::string& fileName) const;

  // The first section of that name (case ignored), or none.
  TMemIniSection* FindSection(std::string_view name);
  int SectionCount() const { return static_cast<int>(sections_.size()); }
  TMemIniSection& Section(int index) { return *sections_.at(static_cast<size_t>(index)); }
  const std::string& LeadingText() const { return leading_; }
  const std::string& LineBreak() const { return lineBreak_; }

  bool Modified() const { return modified_; }
  void SetModified(bool value) { modified_ = value; }
  bool SaveOnDestroy() const { return saveOnDestroy_; }
  void SetSaveOnDestroy(bool value) { saveOnDestroy_ = value; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value) { readOnly_ = value; }

  // Larger files and streams are refused rather than loaded.
  static constexpr int64_t kMaxTextSize = 256 * 1024 * 1024;

private:
  friend class TMemIniSection;
  void parse(std::string_view text);
  void readFile();
  TMemIniSection& sectionForWrite(const std::string& name);
  void sectionChanged();
  void sendChange();
  void invalidateIndex() { indexValid_ = false; }

  std::string leading_;
  std::vector<std::unique_ptr<TMemIniSection>> sections_;
  // Upper-cased name -> index of the first section of that name, built on demand.
  std::unordered_map<std::string, size_t> index_;
  bool indexValid_ = false;
  std::string lineBreak_ = "\n";
  TFileStamp stamp_;
  int updateDepth_ = 0;
  bool modified_ = false;
  bool saveOnDestroy_ = false;
  bool readOnly_ = false;
  bool changePending_ = false;
  int nextListenerId_ = 1;
  std::vector<std::pair<int, TChangeListener>> listeners_;
};
