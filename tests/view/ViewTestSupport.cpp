#include "ViewTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

TestMemView::TestMemView(const std::string& text, int width, int height) {
  EnsureQtApp();
  view = new TMemScrivel();
  view->setAttribute(Qt::WA_DontShowOnScreen);
  view->resize(width, height);
  view->show();
  view->SetText(text);
}

TestMemView::~TestMemView() { delete view; }

std::string RunFilter(const std::string& command, const std::string& input, bool& ok) {
  char inName[] = "/tmp/viewtestXXXXXX";
  const int fd = mkstemp(inName);
  ok = false;
  if (fd < 0) return {};
  const bool written = write(fd, input.data(), input.size()) == static_cast<ssize_t>(input.size());
  close(fd);
  std::string out;
  if (written) {
    const std::string cmd = command + " < " + inName;
    if (FILE* p = popen(cmd.c_str(), "r")) {
      char buf[4096];
      size_t n;
      while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
      ok = pclose(p) == 0;
    }
  }
  unlink(inName);
  return out;
}

void SaveScreenshot(const QImage& image, const char* name) {
  const char* folder = std::getenv("QUILL_SCREENSHOTS");
  if (!folder || !*folder) return;
  QDir().mkpath(QString::fromLocal8Bit(folder));
  image.save(QString::fromLocal8Bit(folder) + "/" + name + ".png", "PNG");
}

void TFiveRunHighlighter::InitAttributes() {
  TCustomHighlighter::InitAttributes();
  THiAttrib* a = AddAttrib("Keyword");
  a->SetColor(0, clNavy);
  a->SetStyle(fsBold);
  THiAttrib* b = AddAttrib("Comment");
  b->SetColor(0, clGreen);
}

bool TFiveRunHighlighter::GetToken(const char* text, int32_t length, int32_t& tokenLength,
                                   THiAttrib*& attrib) {
  const TDrawLineInfo* line = CurLine();
  const int32_t n = line ? static_cast<int32_t>(line->LineText.size()) : length;
  const int32_t run = std::max(n / 5, 1);
  const int32_t index = Column() / run;
  tokenLength = std::min(run - Column() % run, length);
  attrib = AttribByIndex(1 + index % 2);
  return true;
}
