#include <gtest/gtest.h>

#include <numeric>

#include "URecordLayout.h"

using URecordLayout::PadField;
using URecordLayout::RecordLayout;

TEST(PadField, TrimsCodesUpTo32AtBothEndsAndPadsWithBlanks) {
  struct TCase {
    std::string Value;
    std::int32_t Width;
    std::string Expected;
  };
  const TCase Cases[] = {
      {"abc", 5, "abc  "},
      {"abcde", 5, "abcde"},               // exactly the width: no blank
      {"abcdefg", 3, "abcdefg"},           // longer: written whole, never cut
      {"", 3, "   "},                      // empty: blanks only
      {" \t\r\n\x01\x1f", 3, "   "},       // only blanks and control characters
      {std::string("\0a\0", 3), 2, "a "},  // NUL is a control character too
      {"  a b\tc  ", 6, "a b\tc "},        // inner blanks and tabs stay
      {"a\r\nb", 5, "a\r\nb "},            // an inner line break stays
      {"\x7f"
       "a\x7f",
       4,
       "\x7f"
       "a\x7f "},  // DEL (127) is not trimmed
      {"\xa0"
       "caf\xe9\xa0",
       7,
       "\xa0"
       "caf\xe9\xa0 "},  // no-break space stays and counts
      {"abc", 0, "abc"},
      {"abc", -5, "abc"},
      {" ", 0, ""},
  };
  for (const TCase& Case : Cases) {
    EXPECT_EQ(PadField(Case.Value, Case.Width), Case.Expected)
        << "value \"" << Case.Value << "\" width " << Case.Width;
  }
}

TEST(RecordLayout, TwelveColumnsAtTheirPositions) {
  // Starting position (from 1) of each column, as the users' files have it.
  const int From[] = {1, 32, 92, 98, 105, 112, 119, 126, 133, 140, 154, 165};
  int Position = 1;
  for (std::size_t Column = 0; Column < RecordLayout.size(); ++Column) {
    EXPECT_EQ(Position, From[Column]) << RecordLayout[Column].FieldName;
    Position += RecordLayout[Column].Width;
  }
  EXPECT_EQ(Position - 1, URecordLayout::RecordWidth);
  EXPECT_EQ(RecordLayout.front().FieldName, "CO_UNIDADE");
  EXPECT_EQ(RecordLayout.back().FieldName, "CO_DUMARE");
}
