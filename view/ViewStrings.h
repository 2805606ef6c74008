#pragma once
// A view's display lines as a read-only string list, for code that reads
// text through the string-list interface. Changes are ignored: Add answers
// -1, and putting, inserting, deleting, exchanging and clearing do nothing.
#include <QPointer>

#include "platform/StringList.h"

class TCustomScrivel;

class TViewStrings : public TStrings {
public:
  explicit TViewStrings(TCustomScrivel* view) : view_(view) {}
  ~TViewStrings() override;

  TCustomScrivel* View() const { return view_.data(); }
  // Called by the view when it goes first.
  void ForgetView() { view_ = nullptr; }

  int Count() const override;
  std::string Get(int index) const override;
  void Put(int, const std::string&) override {}
  void Insert(int, const std::string&) override {}
  void InsertObject(int, const std::string&, void*) override {}
  void Delete(int) override {}
  void Clear() override {}
  int Add(const std::string&) override { return -1; }
  int AddObject(const std::string&, void*) override { return -1; }
  void Exchange(int, int) override {}
  void Move(int, int) override {}
  int Capacity() const { return Count(); }

private:
  QPointer<TCustomScrivel> view_;
};
