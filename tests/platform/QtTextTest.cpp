#include "platform/QtText.h"

#include <gtest/gtest.h>

TEST(QtText, AnsiTextCrossesTheQtBoundaryBothWays) {
  const std::string ansi = "\x8E" "e\x9Atina \xE8\xE1ry \x80";  // "Žeština čáry €" in 1250
  QString q = ToQString(ansi);
  EXPECT_EQ(q, QString::fromUtf8("Žeština čáry €"));
  EXPECT_EQ(FromQString(q), ansi);
  EXPECT_EQ(FromQString(QString::fromUtf8("a日b")), "a?b");
  EXPECT_TRUE(ToQString("").isEmpty());
}
