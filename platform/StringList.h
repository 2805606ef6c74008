#pragma once
// String lists of the class library: the abstract TStrings with its
// name=value access, text, comma text and file helpers, and TStringList,
// which keeps one object pointer per item and may be sorted.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TStream;

enum TDuplicates { dupIgnore = 0, dupAccept = 1, dupError = 2 };

class TStrings {
public:
  virtual ~TStrings() = default;

  virtual int Count() const = 0;
  virtual std::string Get(int index) const = 0;
  virtual void Put(int index, const std::string& s);
  // Each item may carry an object pointer; lists without the slot answer none.
  virtual void* GetObject(int index) const { return nullptr; }
  virtual void PutObject(int index, void* object) {}
  virtual void Insert(int index, const std::string& s) = 0;
  virtual void InsertObject(int index, const std::string& s, void* object);
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  virtual int Add(const std::string& s);
  virtual int AddObject(const std::string& s, void* object);
  virtual void AddStrings(const TStrings& other);
  virtual int IndexOf(std::string_view s) const;
  virtual void Exchange(int index1, int index2);
  virtual void Move(int curIndex, int newIndex);
  virtual void Assign(const TStrings& source);
  virtual std::string GetText() const;
  virtual void SetText(std::string_view text);

  std::string operator[](int index) const { return Get(index); }
  std::string Strings(int index) const { return Get(index); }
  void* Objects(int index) const { return GetObject(index); }

  // Updates are bracketed so that a list tells its watchers once.
  void BeginUpdate();
  void EndUpdate();
  bool Updating() const { return updateCount_ > 0; }

  // "name=value" items.
  std::string Names(int index) const;
  std::string ValueFromIndex(int index) const;
  std::string Values(std::string_view name) const;
  // Sets the value of name; an empty value deletes the item.
  void SetValue(std::string_view name, std::string_view value);
  int IndexOfName(std::string_view name) const;
  int IndexOfObject(const void* object) const;

  // Items separated by commas, quoted with '"' when they hold blanks, commas or quotes.
  std::string CommaText() const;
  void SetCommaText(std::string_view text);

  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;
  void LoadFromFile(const std::string& fileName);
  // Writes through a replace stream: the old file stays until the new one is complete.
  void SaveToFile(const std::string& fileName) const;

  bool Equals(const TStrings& other) const;

  // Placed after every item by GetText and SaveToStream.
  std::string LineBreak = "\r\n";
  char NameValueSeparator = '=';

protected:
  // Called when the update depth moves between 0 and 1.
  virtual void SetUpdateState(bool updating) {}
  // Compares two items as IndexOf does: without regard to case.
  virtual int CompareStrings(std::string_view a, std::string_view b) const;
  [[noreturn]] static void ListError(const char* format, int index);

private:
  int updateCount_ = 0;
};

class TStringList : public TStrings {
public:
  using TNotifyEvent = std::function<void(TStringList&)>;
  using TCompare = std::function<int(const TStringList&, int, int)>;

  TStringList() = default;
  TStringList(const TStringList& other) { Assign(other); }
  TStringList& operator=(const TStringList& other) {
    if (this != &other) Assign(other);
    return *this;
  }

  int Count() const override { return static_cast<int>(items_.size()); }
  std::string Get(int index) const override;
  void Put(int index, const std::string& s) override;
  void* GetObject(int index) const override;
  void PutObject(int index, void* object) override;
  void Insert(int index, const std::string& s) override;
  void InsertObject(int index, const std::string& s, void* object) override;
  void Delete(int index) override;
  void Clear() override;
  int Add(const std::string& s) override;
  int AddObject(const std::string& s, void* object) override;
  int IndexOf(std::string_view s) const override;
  void Exchange(int index1, int index2) override;
  // Raises on a sorted list or a bad index before anything changes.
  void Move(int curIndex, int newIndex) override;

  // Binary search of a sorted list: true with the index of the match, or
  // false with the index where s would be inserted.
  bool Find(std::string_view s, int& index) const;
  virtual void Sort();
  void CustomSort(const TCompare& compare);

  bool Sorted() const { return sorted_; }
  void SetSorted(bool sorted);
  TDuplicates Duplicates = dupIgnore;
  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool value);

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

  // Direct access to the item text, for readers that must not copy.
  const std::string& Item(int index) const;

protected:
  void SetUpdateState(bool updating) override;
  int CompareStrings(std::string_view a, std::string_view b) const override;
  void Changed();
  void Changing();

private:
  struct Entry {
    std::string text;
    void* object = nullptr;
  };
  void checkIndex(int index) const;
  void insertItem(int index, const std::string& s, void* object);
  int addSorted(const std::string& s, void* object);

  std::vector<Entry> items_;
  bool sorted_ = false;
  bool caseSensitive_ = false;
};
