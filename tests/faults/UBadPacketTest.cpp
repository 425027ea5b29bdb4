// Packets that are broken, hostile or merely odd: each run ends in one of its three ways,
// says so, and leaves either nothing or exactly the lines the packet holds.
#include <gtest/gtest.h>

#include <random>

#include "UFaultSupport.h"

using namespace UFaultSupport;
using UTestSupport::ReadBytes;
using UTestSupport::WriteBytes;

namespace {

bool StartsWith(std::string_view Text, std::string_view Prefix) {
  return Text.substr(0, Prefix.size()) == Prefix;
}

}  // namespace

TEST(BadPackets, EveryTruncationFailsToLoadOrConvertsWholeLines) {
  TMemoryScratchDir Dir;
  const std::string Full = Packet(2);
  const std::string Expected = Lines(2);
  int Converted = 0;
  for (std::size_t Cut = 0; Cut <= Full.size(); ++Cut) {
    SCOPED_TRACE("cut at byte " + std::to_string(Cut));
    const TRun Run = RunBytes(Dir, std::string_view(Full).substr(0, Cut));
    ExpectClean(Run);
    // Nothing but a prefix of the true lines, and whole lines after a clean end.
    EXPECT_TRUE(StartsWith(Expected, Run.Output)) << Run.Output;
    if (Run.Outcome == TRunOutcome::Converted) {
      ++Converted;
      EXPECT_EQ(Run.Output, Lines(Run.Records));
    }
    if (HasFailure()) break;
  }
  EXPECT_GE(Converted, 1);  // the whole packet at least
  EXPECT_EQ(RunBytes(Dir, Full).Output, Expected);
}

TEST(BadPackets, RandomAndMutatedBytesEndCleanly) {
  TMemoryScratchDir Dir;
  std::mt19937 Random(20261211);
  const std::string Valid = Packet(3);
  for (int Case = 0; Case < 600; ++Case) {
    std::string Bytes;
    if (Case < 200) {
      Bytes.resize(Random() % 2048);
      for (char& C : Bytes) C = static_cast<char>(Random());
    } else {
      // A real packet with a few bytes changed, dropped or doubled.
      Bytes = Valid;
      for (int Change = 1 + Random() % 6; Change > 0; --Change) {
        const std::size_t At = Random() % Bytes.size();
        switch (Random() % 3) {
          case 0:
            Bytes[At] = static_cast<char>(Random());
            break;
          case 1:
            Bytes.erase(At, 1 + Random() % 8);
            break;
          default:
            Bytes.insert(At, Bytes.substr(At, 1 + Random() % 16));
        }
      }
    }
    SCOPED_TRACE("case " + std::to_string(Case));
    const TRun Run = RunBytes(Dir, Bytes);
    ExpectClean(Run);
    if (Run.Outcome == TRunOutcome::Converted) {
      EXPECT_GE(Run.Output.size(), 173u * static_cast<std::size_t>(Run.Records));
      if (Run.Records > 0) {
        EXPECT_EQ(Run.Output.substr(Run.Output.size() - 2), "\r\n");
      }
    }
    if (HasFailure()) break;
  }
}

TEST(BadPackets, HundredMegabyteValueIsWrittenWhole) {
  TMemoryScratchDir Dir;
  constexpr std::size_t Size = 100u << 20;
  // The reference at the end makes the reader decode the whole value, not only view it.
  const std::string Marker = "c1r1";
  std::string Xml = PacketWithRowData("<ROW " + Row(1, "NO_FANTASIA", Marker) + "/>");
  Xml.replace(Xml.find(Marker), Marker.size(), std::string(Size, 'x').append("&amp;fim"));
  WriteBytes(Dir / "grande.xml", Xml);
  Xml = std::string();
  const TRun Run = RunFile(Dir, Dir / "grande.xml");
  ExpectClean(Run);
  ASSERT_EQ(Run.Outcome, TRunOutcome::Converted);
  const std::string Short = Line(1, "NO_FANTASIA", "");
  ASSERT_EQ(Run.Output.size(), Short.size() - 60 + Size + 4);
  EXPECT_EQ(Run.Output.substr(0, 31), Short.substr(0, 31));
  EXPECT_EQ(Run.Output.find_first_not_of('x', 31), 31 + Size);
  EXPECT_EQ(Run.Output.substr(31 + Size), "&fim" + Short.substr(91));
}

TEST(BadPackets, DeepNestingAndManyAttributesDoNotBlowUp) {
  constexpr int Depth = 100000;
  std::string Open, Close;
  for (int Level = 0; Level < Depth; ++Level) Open += "<X>", Close += "</X>";
  std::string NestedFields;
  for (int Level = 0; Level < Depth / 2; ++Level)
    NestedFields += "<FIELD attrname=\"N\" fieldtype=\"nested\"><FIELDS>";
  for (int Level = 0; Level < Depth / 2; ++Level) NestedFields += "</FIELDS></FIELD>";
  std::string ManyAttributes = Row(1);
  for (int Index = 0; Index < 1000000; ++Index)
    ManyAttributes += " a" + std::to_string(Index) + "=\"\"";

  std::string WithNestedFields = Packet(1);
  WithNestedFields.insert(WithNestedFields.find("</FIELDS>"), NestedFields);
  struct TCase {
    const char* Name;
    std::string Packet;
  } const Cases[] = {
      {"elements nested in a row",
       PacketWithRowData("<ROW " + Row(1) + ">" + Open + Close + "</ROW>")},
      {"elements nested after the row data",
       [&] {
         std::string Xml = Packet(1);
         return Xml.insert(Xml.find("</DATAPACKET>"), Open + Close);
       }()},
      {"nested field definitions", WithNestedFields},
      {"a million attributes on one row", PacketWithRowData("<ROW " + ManyAttributes + "/>")},
  };
  TMemoryScratchDir Dir;
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const TRun Run = RunBytes(Dir, Case.Packet);
    ExpectClean(Run);
    // A reader may refuse such a packet; what it converts must be the one true line.
    if (Run.Outcome != TRunOutcome::LoadFailed) {
      EXPECT_EQ(Run.Output, Line(1));
    }
  }
}

TEST(BadPackets, EntitiesAreNeverExpanded) {
  // The classic exponential entity, an external one and references to undeclared ones.
  std::string Doctype = "<!DOCTYPE DATAPACKET [<!ENTITY l0 \"lollollollollollollollollol\">";
  for (int Level = 1; Level <= 9; ++Level)
    Doctype += "<!ENTITY l" + std::to_string(Level) + " \"" + [&] {
      std::string Refs;
      for (int I = 0; I < 10; ++I) Refs += "&l" + std::to_string(Level - 1) + ";";
      return Refs;
    }() + "\">";
  Doctype += "<!ENTITY file SYSTEM \"file:///etc/passwd\">]>";
  TMemoryScratchDir Dir;
  for (const std::string Reference :
       {"&l9;", "&file;", "&nosuch;", "a&b", "&#xZZ;", "&#99999999999;"}) {
    SCOPED_TRACE(Reference);
    std::string Xml = PacketWithRowData("<ROW " + Row(1, "NO_FANTASIA", Reference) + "/>",
                                        "<?xml version=\"1.0\"?>");
    Xml.insert(Xml.find("<DATAPACKET"), Doctype);
    const TRun Run = RunBytes(Dir, Xml);
    ExpectClean(Run);
    // Refused, or an entity reference kept as it is written.
    if (Run.Outcome == TRunOutcome::Converted && Reference.find("&#") == std::string::npos) {
      EXPECT_EQ(Run.Output, Line(1, "NO_FANTASIA", Reference));
    }
    EXPECT_LT(Run.Output.size(), 1000u);
    EXPECT_EQ(Run.Output.find("root:"), std::string::npos);
    EXPECT_EQ(Run.Output.find("lollol"), std::string::npos);
  }
}

TEST(BadPackets, NulBytesNeverCutAValueShort) {
  const std::string Nul(1, '\0');
  const std::string Valid = Packet(1);
  struct TCase {
    const char* Name;
    std::string Packet;
  } const Cases[] = {
      {"in a value", PacketWithRowData("<ROW " + Row(1, "NO_FANTASIA", "ab" + Nul + "cd") + "/>")},
      {"between elements",
       [&] {
         std::string Xml = Valid;
         return Xml.insert(Xml.find("<ROWDATA>"), Nul);
       }()},
      {"after the packet", Valid + Nul + "<ROW/>"},
      {"at the start", Nul + Valid},
  };
  TMemoryScratchDir Dir;
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const TRun Run = RunBytes(Dir, Case.Packet);
    ExpectClean(Run);
    if (Run.Outcome == TRunOutcome::Converted) {
      EXPECT_TRUE(Run.Output == Line(1) || Run.Output == Line(1, "NO_FANTASIA", "ab" + Nul + "cd"))
          << Run.Output;
    }
  }
}

TEST(BadPackets, InvalidUtf8InADeclaredUtf8FileIsTakenAsWindows1252) {
  struct TCase {
    const char* Name;
    std::string Value, Written;
  } const Cases[] = {
      {"valid two- and three-byte sequences", "S\xc3\xa3o \xe2\x82\xac", "S\xe3o \x80"},
      {"a stray Latin-1 byte", "caf\xe9 bar", "caf\xe9 bar"},
      {"a lone continuation byte",
       "a\x80"
       "b",
       "a\x80"
       "b"},
      {"a sequence cut by the end of the value", "\xc3\xa9t\xc3", "\xe9t\xc3"},
      {"a sequence cut by ASCII", "\xe2\x82z", "\xe2\x82z"},
      {"an overlong slash", "\xc0\xaf", "\xc0\xaf"},
      {"an encoded surrogate", "\xed\xa0\x80", "\xed\xa0\x80"},
  };
  std::string RowData;
  for (std::size_t N = 0; N < std::size(Cases); ++N)
    RowData += "<ROW " + Row(static_cast<int>(N + 1), "NO_FANTASIA", Cases[N].Value) + "/>";
  TMemoryScratchDir Dir;
  const TRun Run = RunBytes(Dir, PacketWithRowData(RowData, Utf8Declaration));
  ExpectClean(Run);
  ASSERT_EQ(Run.Outcome, TRunOutcome::Converted);
  std::size_t At = 0;
  for (std::size_t N = 0; N < std::size(Cases); ++N) {
    SCOPED_TRACE(Cases[N].Name);
    const std::string Expected = Line(static_cast<int>(N + 1), "NO_FANTASIA", Cases[N].Written);
    EXPECT_EQ(Run.Output.substr(At, Expected.size()), Expected);
    At += Expected.size();
  }
  EXPECT_EQ(At, Run.Output.size());
}

TEST(BadPackets, MixedLineEndsBetweenElementsAndInsideValues) {
  // Literal line ends in a value are white space to XML; only references keep a break.
  std::string Xml =
      PacketWithRowData("\r\n<ROW " + Row(1, "NO_FANTASIA", "a\r\nb\rc\nd\n\re") + "/>\r<ROW\n" +
                        Row(2, "NO_FANTASIA", "x&#013;&#010;y") + "\r\n/>\n");
  const char* const Ends[] = {"\r\n", "\n", "\r"};
  int Count = 0;
  for (const char* Tag : {"<METADATA>", "<FIELD ", "</FIELDS>", "<ROWDATA>"}) {
    for (std::size_t At = Xml.find(Tag); At != std::string::npos; At = Xml.find(Tag, At)) {
      const std::string End = Ends[Count++ % 3];
      Xml.insert(At, End);
      At += End.size() + 1;
    }
  }
  TMemoryScratchDir Dir;
  const TRun Run = RunBytes(Dir, Xml);
  ExpectClean(Run);
  EXPECT_EQ(Run.Output, Line(1, "NO_FANTASIA", "a b c d  e") + Line(2, "NO_FANTASIA", "x\r\ny"));
}
