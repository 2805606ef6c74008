#include "files/CustomIniFile.h"

#include <gtest/gtest.h>

#include <cmath>

#include "files/IniMem.h"

TEST(CustomIniFile, IntegersBoolsAndFloatsFromText) {
  TMemoryIniFile ini;
  ini.SetText(
      "[N]\ndec=42\nneg=-17\nhex1=$1F\nhex2=0x1f\nhexneg=$FFFFFFFF\nmax=2147483647\nmin=-2147483648\n"
      "over=2147483648\nhexover=$100000000\njunk=12x\nempty=\nspace=4 2\nplus=+5\n"
      "f1=1.5\nf2=-2.5E3\nf3=.5\nfbad=1,5\nfinf=inf\n");
  struct {
    const char* key;
    int32_t value;
  } ints[] = {{"dec", 42},          {"neg", -17},  {"hex1", 31},   {"hex2", 31},  {"hexneg", -1},
              {"max", 2147483647},  {"min", INT32_MIN},           {"over", -99}, {"hexover", -99},
              {"junk", -99},        {"empty", -99}, {"space", -99}, {"plus", 5},  {"missing", -99}};
  for (const auto& c : ints) EXPECT_EQ(ini.ReadInteger("N", c.key, -99), c.value) << c.key;
  EXPECT_TRUE(ini.ReadBool("N", "dec", false));
  EXPECT_FALSE(ini.ReadBool("N", "missing", false));
  EXPECT_TRUE(ini.ReadBool("N", "junk", true));
  EXPECT_DOUBLE_EQ(ini.ReadFloat("N", "f1", 0), 1.5);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("N", "f2", 0), -2500);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("N", "f3", 0), 0.5);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("N", "fbad", 9), 9);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("N", "finf", 9), 9);
}

TEST(CustomIniFile, TypedWritersGiveTheClassLibraryTexts) {
  TMemoryIniFile ini;
  ini.WriteInteger("S", "i", -5);
  ini.WriteBool("S", "t", true);
  ini.WriteBool("S", "f", false);
  ini.WriteFloat("S", "a", 1.5);
  ini.WriteFloat("S", "b", 1e20);
  ini.WriteFloat("S", "c", 0.0001);
  ini.WriteFloat("S", "d", 1.5e-7);
  ini.WriteFloat("S", "e", 123456789012345.0);
  ini.WriteFloat("S", "g", 0.1);
  EXPECT_EQ(ini.GetText(), "[S]\ni=-5\nt=1\nf=0\na=1.5\nb=1E20\nc=0.0001\nd=1.5E-7\ne=123456789012345\ng=0.1\n");
}

TEST(CustomIniFile, DatesAndTimesRoundTrip) {
  TMemoryIniFile ini;
  const TDateTime moment = 46000.75;  // 2025-12-09 18:00
  ini.WriteDate("D", "date", moment);
  ini.WriteTime("D", "time", moment);
  ini.WriteDateTime("D", "both", moment);
  ini.WriteDateTime("D", "midnight", 2.0);
  ini.WriteDate("D", "before1900", -1.25);
  EXPECT_EQ(ini.ReadString("D", "date", ""), "2025-12-09");
  EXPECT_EQ(ini.ReadString("D", "time", ""), "18:00:00");
  EXPECT_EQ(ini.ReadString("D", "both", ""), "2025-12-09 18:00:00");
  EXPECT_EQ(ini.ReadString("D", "midnight", ""), "1900-01-01");
  EXPECT_EQ(ini.ReadString("D", "before1900", ""), "1899-12-29");
  EXPECT_DOUBLE_EQ(ini.ReadDate("D", "date", 0), 46000);
  EXPECT_NEAR(ini.ReadTime("D", "time", 0), 0.75, 1e-9);
  EXPECT_NEAR(ini.ReadDateTime("D", "both", 0), moment, 1e-9);
  EXPECT_DOUBLE_EQ(ini.ReadDateTime("D", "midnight", 0), 2.0);
  for (const char* bad : {"2025-02-30", "2025-13-01", "25:00", "2025-12-09x", "yesterday"}) {
    ini.WriteString("D", "bad", bad);
    EXPECT_EQ(ini.ReadDateTime("D", "bad", -7), -7) << bad;
  }
  // The first and the last day that the texts can hold, and values beyond.
  ini.WriteDateTime("D", "first", -693593.5);
  ini.WriteDateTime("D", "last", 2958465.5);
  EXPECT_EQ(ini.ReadString("D", "first", ""), "0001-01-01 12:00:00");
  EXPECT_EQ(ini.ReadString("D", "last", ""), "9999-12-31 12:00:00");
  EXPECT_DOUBLE_EQ(ini.ReadDateTime("D", "first", 0), -693593.5);
  for (double bad : {std::nan(""), 1e300, -1e300, 2958466.0, -693594.0}) {
    EXPECT_THROW(ini.WriteDateTime("D", "bad", bad), EConvertError) << bad;
    EXPECT_THROW(ini.WriteDate("D", "bad", bad), EConvertError) << bad;
    EXPECT_THROW(ini.WriteTime("D", "bad", bad), EConvertError) << bad;
  }
}

TEST(CustomIniFile, SectionAndValueExistenceFromTheLists) {
  // The base class answers from ReadSection; TMemoryIniFile answers itself,
  // so call the base versions through a qualified name.
  TMemoryIniFile ini;
  ini.SetText("[A]\nk=1\n[Empty]\n");
  EXPECT_TRUE(ini.TCustomIniFile::SectionExists("a"));
  EXPECT_FALSE(ini.TCustomIniFile::SectionExists("Empty"));
  EXPECT_TRUE(ini.TCustomIniFile::ValueExists("A", "K"));
  EXPECT_FALSE(ini.TCustomIniFile::ValueExists("A", "x"));
}
