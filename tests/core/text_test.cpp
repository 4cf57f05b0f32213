#include "core/text.h"

#include <gtest/gtest.h>

namespace msu {
namespace {

TEST(LeadingNumber, ReadsVersionsAsFarAsTheyGo) {
  EXPECT_DOUBLE_EQ(LeadingNumber("4.13.00"), 4.13);
  EXPECT_DOUBLE_EQ(LeadingNumber("5.01.00"), 5.01);
  EXPECT_DOUBLE_EQ(LeadingNumber("3.20.99"), 3.2);
  EXPECT_DOUBLE_EQ(LeadingNumber("4.2.0"), 4.2);
  EXPECT_DOUBLE_EQ(LeadingNumber(" 4 .1"), 4.1);  // blanks inside the number are skipped
  EXPECT_DOUBLE_EQ(LeadingNumber(""), 0.0);
  EXPECT_DOUBLE_EQ(LeadingNumber("abc"), 0.0);
  EXPECT_DOUBLE_EQ(LeadingNumber("41abc"), 41.0);
  EXPECT_DOUBLE_EQ(LeadingNumber("-7"), -7.0);
}

TEST(Paths, SplitAtBothSeparators) {
  EXPECT_EQ(FileNameOf("D:\\Data\\fire.mdf"), "fire.mdf");
  EXPECT_EQ(FileNameOf("/srv/data/fire.mdf"), "fire.mdf");
  EXPECT_EQ(FileNameOf("fire.mdf"), "fire.mdf");
  EXPECT_EQ(FolderOf("D:\\Data\\fire.mdf"), "D:\\Data");
  EXPECT_EQ(FolderOf("fire.mdf"), "");
  EXPECT_EQ(DropLast("fire.mdf", 4), "fire");
  EXPECT_EQ(DropLast("new.mdfx", 4), "new.");
  EXPECT_EQ(DropLast("abc", 4), "");
}

TEST(Case, AsciiOnly) {
  EXPECT_EQ(UpperCase("Orvane é"), "ORVANE é");
  EXPECT_TRUE(EqualsNoCase("Incidents", "INCIDENTS"));
  EXPECT_FALSE(EqualsNoCase("Incident", "Incidents"));
  EXPECT_EQ(Trim("  a b \t"), "a b");
}

}  // namespace
}  // namespace msu
