// The client dataset: recognition and load failures, encodings, field names, records and
// their order, typed values, and every real packet of shared/datapackets/real read in place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "UClientDataSet.h"
#include "UTestSupport.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using UClientDataSet::EDatabaseError;
using UClientDataSet::EDataSetError;
using UClientDataSet::TClientDataSet;
using UClientDataSet::TField;

constexpr std::string_view PlainDeclaration = "<?xml version=\"1.0\" standalone=\"yes\"?>  ";
constexpr std::string_view Utf8Declaration =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>  ";

// A packet as the engine writes it, from the inner XML of FIELDS and ROWDATA.
std::string Packet(std::string_view Fields, std::string_view Rows, std::string_view Params = "",
                   std::string_view Declaration = PlainDeclaration) {
  return std::string(Declaration) + "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>" +
         std::string(Fields) + "</FIELDS><PARAMS" + std::string(Params) + "/></METADATA><ROWDATA>" +
         std::string(Rows) + "</ROWDATA></DATAPACKET>";
}

// One string field S and one row holding Value, under a declaration.
std::string OneValue(std::string_view Declaration, std::string_view Value) {
  return Packet("<FIELD attrname=\"S\" fieldtype=\"string\" WIDTH=\"50\"/>",
                "<ROW S=\"" + std::string(Value) + "\"/>", "", Declaration);
}

std::unique_ptr<TClientDataSet> Load(std::string Bytes) {
  auto DataSet = std::make_unique<TClientDataSet>();
  DataSet->LoadFromBytes(std::move(Bytes), "teste.xml");
  return DataSet;
}

// The values of one field over all records, joined with '|'.
std::string Column(TClientDataSet& DataSet, std::string_view Name) {
  TField& Field = DataSet.FieldByName(Name);
  std::string Joined;
  for (DataSet.First(); !DataSet.Eof(); DataSet.Next()) {
    if (DataSet.RecNo() > 0) Joined += '|';
    Joined += Field.AsString();
  }
  return Joined;
}

std::string Contains(std::string_view Text, std::string_view Part) {
  return Text.find(Part) == std::string_view::npos
             ? "\"" + std::string(Text) + "\" lacks \"" + std::string(Part) + "\""
             : std::string();
}

void ExpectClosedAndEmpty(TClientDataSet& DataSet) {
  EXPECT_FALSE(DataSet.Active());
  EXPECT_EQ(DataSet.RecordCount(), 0);
  EXPECT_EQ(DataSet.FieldCount(), 0);
  EXPECT_TRUE(DataSet.Eof());
  EXPECT_EQ(DataSet.FindField("S"), nullptr);
  EXPECT_THROW(DataSet.Open(), EDatabaseError);
}

// ---------------------------------------------------------------------------------------
// Recognition

struct TBadPacket {
  const char* Name;
  std::string Bytes;
  const char* Reason;   // part of EDataSetError::Reason
  std::int64_t Offset;  // expected offset; -2: not checked
};

class BadPacket : public testing::TestWithParam<TBadPacket> {};

TEST_P(BadPacket, IsALoadFailureThatLeavesTheDataSetClosedAndEmpty) {
  const TBadPacket& Case = GetParam();
  TClientDataSet DataSet;
  DataSet.LoadFromBytes(OneValue(PlainDeclaration, "earlier"), "antes.xml");
  try {
    DataSet.LoadFromBytes(Case.Bytes, "teste.xml");
    FAIL() << "loaded";
  } catch (const EDataSetError& Error) {
    EXPECT_EQ(Error.FileName, "teste.xml");
    EXPECT_EQ(Contains(Error.Reason, Case.Reason), "");
    EXPECT_EQ(Contains(Error.what(), "\"teste.xml\""), "");
    EXPECT_EQ(Contains(Error.what(), Error.Reason), "");
    if (Case.Offset != -2) {
      EXPECT_EQ(Error.Offset, Case.Offset);
    }
    if (Error.Offset >= 0) {
      EXPECT_EQ(Contains(Error.what(), "(byte " + std::to_string(Error.Offset) + ")"), "");
    }
  }
  ExpectClosedAndEmpty(DataSet);
}

const std::string Fine =
    Packet("<FIELD attrname=\"S\" fieldtype=\"string\" WIDTH=\"5\"/>", "<ROW S=\"a\"/>");

INSTANTIATE_TEST_SUITE_P(
    Recognition, BadPacket,
    testing::Values(
        TBadPacket{"Binary", std::string("\x96\x19\xE0\xBD\x01\x00\x00\x00\x18\x00", 10),
                   "bin\u00e1rio", 0},
        TBadPacket{"Empty", "", "vazio", -1},
        TBadPacket{"OnlyBlanks", "\xEF\xBB\xBF \r\n\t ", "espa\u00e7os", -1},
        TBadPacket{"OtherText", "Name;Capital\nArgentina;Buenos Aires\n", "\"<\"", 0},
        TBadPacket{"TextAfterBomAndBlanks", "\xEF\xBB\xBF  {\"a\": 1}", "\"<\"", 5},
        TBadPacket{"Truncated", Fine.substr(0, Fine.size() - 25), "XML malformado", -2},
        TBadPacket{"CutInsideAValue", Fine.substr(0, Fine.find("S=\"a") + 4), "XML malformado", -2},
        TBadPacket{"NotWellFormed", "<DATAPACKET><METADATA></DATAPACKET>", "XML malformado", -2},
        TBadPacket{"OtherRoot", "<?xml version=\"1.0\"?><TABLE><ROW a=\"1\"/></TABLE>", "\"TABLE\"",
                   21},
        TBadPacket{"NoMetadata", "<DATAPACKET><ROWDATA/></DATAPACKET>", "METADATA", 0},
        TBadPacket{"NoFields", "<DATAPACKET><METADATA><PARAMS/></METADATA></DATAPACKET>",
                   "METADATA/FIELDS", -2},
        TBadPacket{
            "DeltaTRUE",
            Packet("<FIELD attrname=\"S\" fieldtype=\"string\"/>", "", " DATASET_DELTA=\"TRUE\""),
            "delta", -2},
        TBadPacket{
            "Delta1",
            Packet("<FIELD attrname=\"S\" fieldtype=\"string\"/>", "", " DATASET_DELTA=\"1\""),
            "delta", -2},
        TBadPacket{"UnknownEncoding", "<?xml version='1.0' encoding='UTF-16'?><DATAPACKET/>",
                   "\"UTF-16\"", 30},
        TBadPacket{"DeclarationWithoutEnd", "<?xml version=\"1.0\" <DATAPACKET/>",
                   "declara\u00e7\u00e3o", 0},
        TBadPacket{"FieldWithoutAttrname",
                   Packet("<FIELD tagname=\"S\" fieldtype=\"string\"/>", ""), "tagname", -2},
        TBadPacket{
            "RowStateNotANumber",
            Packet("<FIELD attrname=\"S\" fieldtype=\"string\"/>", "<ROW RowState=\"x\" S=\"a\"/>"),
            "RowState", -2}),
    [](const testing::TestParamInfo<TBadPacket>& Info) { return Info.param.Name; });

// The delta packet is refused even with the change log and its flags in other cases.
TEST(Recognition, OnlyTrueOrOneMarksADelta) {
  for (const char* Flag : {"FALSE", "0", ""}) {
    auto DataSet = Load(Packet("<FIELD attrname=\"S\" fieldtype=\"string\"/>", "<ROW S=\"a\"/>",
                               std::string(" DATASET_DELTA=\"") + Flag + "\""));
    EXPECT_EQ(DataSet->RecordCount(), 1) << Flag;
  }
  EXPECT_THROW(
      Load(Packet("<FIELD attrname=\"S\" fieldtype=\"string\"/>", "", " DATASET_DELTA=\"true\"")),
      EDataSetError);
}

struct TGoodShape {
  const char* Name;
  std::string Bytes;
  std::int32_t Records;
};

class GoodShape : public testing::TestWithParam<TGoodShape> {};

TEST_P(GoodShape, Loads) {
  auto DataSet = Load(GetParam().Bytes);
  EXPECT_TRUE(DataSet->Active());
  EXPECT_EQ(DataSet->RecordCount(), GetParam().Records);
  ASSERT_EQ(DataSet->FieldCount(), 1);
  if (GetParam().Records > 0) {
    EXPECT_EQ(DataSet->FieldByName("S").AsString(), "a");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Recognition, GoodShape,
    testing::Values(
        TGoodShape{"NoDeclaration",
                   "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS><FIELD attrname=\"S\" "
                   "fieldtype=\"string\" WIDTH=\"200\"/></FIELDS><PARAMS/></METADATA>"
                   "<ROWDATA/></DATAPACKET>\n",
                   0},
        TGoodShape{"BomBlanksAndIndentation",
                   "\xEF\xBB\xBF \r\n<?xml version=\"1.0\"?>\r\n<DATAPACKET>\r\n  <METADATA>\r\n"
                   "    <FIELDS>\r\n      <FIELD attrname=\"S\" fieldtype=\"string\"/>\r\n"
                   "    </FIELDS>\r\n  </METADATA>\r\n  <ROWDATA>\r\n    <ROW S=\"a\"/>\r\n"
                   "  </ROWDATA>\r\n</DATAPACKET>\r\n",
                   1},
        TGoodShape{"SingleQuotesAndBlanksAroundEquals",
                   OneValue("<?xml version = '1.0' encoding = 'utf-8' ?>", "a"), 1},
        TGoodShape{"EmptyRowDataElement",
                   Packet("<FIELD attrname=\"S\" fieldtype=\"string\"/>", ""), 0},
        TGoodShape{"SelfClosedRowData",
                   "<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"S\"/></FIELDS></METADATA>"
                   "<ROWDATA/></DATAPACKET>",
                   0},
        TGoodShape{"NoRowData",
                   "<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"S\"/></FIELDS></METADATA>"
                   "</DATAPACKET>",
                   0},
        TGoodShape{"CommentsAndOtherElementsAround",
                   "<!-- x --><DATAPACKET><METADATA><FIELDS><FIELD attrname=\"S\"/><X/>"
                   "</FIELDS></METADATA><ROWDATA><!-- y --><ROW S=\"a\"/><OTHER S=\"b\"/>"
                   "</ROWDATA></DATAPACKET>",
                   1}),
    [](const testing::TestParamInfo<TGoodShape>& Info) { return Info.param.Name; });

// ---------------------------------------------------------------------------------------
// Files

void ExpectReadFailure(TClientDataSet& DataSet, const std::filesystem::path& Path,
                       const std::string& Reason) {
  try {
    DataSet.LoadFromFile(Path);
    FAIL() << "loaded " << Path;
  } catch (const EDataSetError& Error) {
    const std::string Name = Path.string();
    EXPECT_EQ(std::string(Error.what()),
              "n\u00e3o foi poss\u00edvel ler \"" + Name + "\": " + Reason);
    EXPECT_EQ(Error.FileName, Name);
    EXPECT_EQ(Error.Offset, -1);
    EXPECT_EQ(Error.Reason, Reason);
  }
  ExpectClosedAndEmpty(DataSet);
}

TEST(Files, WhatCannotBeReadIsALoadFailureNamingTheFile) {
  UTestSupport::TScratchDir Scratch;
  TClientDataSet DataSet;
  ExpectReadFailure(DataSet, Scratch / "nada.xml", "arquivo n\u00e3o encontrado");
  ExpectReadFailure(DataSet, "", "nenhum arquivo indicado (caminho vazio)");
  ExpectReadFailure(DataSet, Scratch.Path, "\u00e9 uma pasta, n\u00e3o um arquivo");
#ifndef _WIN32
  // A FIFO nobody writes to would block a plain open or read forever.
  ASSERT_EQ(::mkfifo((Scratch / "fifo.xml").c_str(), 0600), 0);
  ExpectReadFailure(DataSet, Scratch / "fifo.xml",
                    "n\u00e3o \u00e9 um arquivo comum (\u00e9 um FIFO)");
#endif
}

TEST(Files, AnEmptyFileIsNotAPacket) {
  UTestSupport::TScratchDir Scratch;
  UTestSupport::WriteBytes(Scratch / "vazio.xml", "");
  TClientDataSet DataSet;
  try {
    DataSet.LoadFromFile(Scratch / "vazio.xml");
    FAIL();
  } catch (const EDataSetError& Error) {
    EXPECT_EQ(std::string(Error.what()), "\"" + (Scratch / "vazio.xml").string() +
                                             "\" n\u00e3o \u00e9 um pacote de dados XML: o "
                                             "arquivo est\u00e1 vazio");
  }
  ExpectClosedAndEmpty(DataSet);
}

TEST(Files, LoadsAFileAndDropsIt) {
  UTestSupport::TScratchDir Scratch;
  UTestSupport::WriteBytes(Scratch / "a.xml", OneValue(PlainDeclaration, "x&amp;y"));
  TClientDataSet DataSet;
  DataSet.LoadFromFile(Scratch / "a.xml");
  EXPECT_TRUE(DataSet.Active());
  EXPECT_EQ(Column(DataSet, "S"), "x&y");
  DataSet.Close();
  ExpectClosedAndEmpty(DataSet);
}

// ---------------------------------------------------------------------------------------
// Life cycle

TEST(LifeCycle, OpenNeedsALoadedPacket) {
  TClientDataSet DataSet;
  EXPECT_THROW(DataSet.Open(), EDatabaseError);
  ExpectClosedAndEmpty(DataSet);
}

TEST(LifeCycle, CursorWalksTheRecords) {
  auto DataSet =
      Load(Packet("<FIELD attrname=\"S\" fieldtype=\"string\"/>", "<ROW S=\"a\"/><ROW S=\"b\"/>"));
  DataSet->Open();  // already open: no effect
  TField& S = DataSet->FieldByName("S");
  EXPECT_EQ(DataSet->RecNo(), 0);
  EXPECT_EQ(S.AsString(), "a");
  DataSet->Next();
  EXPECT_EQ(S.AsString(), "b");
  EXPECT_FALSE(DataSet->Eof());
  DataSet->Next();
  EXPECT_TRUE(DataSet->Eof());
  EXPECT_EQ(DataSet->RecNo(), 2);
  EXPECT_EQ(S.AsString(), "");  // no current record
  DataSet->Next();
  EXPECT_EQ(DataSet->RecNo(), 2);
  DataSet->First();
  EXPECT_EQ(S.AsString(), "a");
}

TEST(LifeCycle, ALoadDropsTheEarlierPacket) {
  auto DataSet = Load(Packet("<FIELD attrname=\"A\"/><FIELD attrname=\"B\"/>",
                             "<ROW A=\"1\" B=\"2\"/><ROW A=\"3\"/>"));
  DataSet->Next();
  DataSet->LoadFromBytes(OneValue(PlainDeclaration, "novo"));
  EXPECT_EQ(DataSet->FieldCount(), 1);
  EXPECT_EQ(DataSet->FindField("A"), nullptr);
  EXPECT_EQ(DataSet->RecNo(), 0);
  EXPECT_EQ(Column(*DataSet, "S"), "novo");
}

TEST(LifeCycle, ViewsOfDifferentFieldsStayValidTogether) {
  auto DataSet = Load(Packet("<FIELD attrname=\"A\"/><FIELD attrname=\"B\" fieldtype=\"r8\"/>",
                             "<ROW A=\"x&amp;y\" B=\"1.5\"/>"));
  const std::string_view A = DataSet->FieldByName("A").AsString();
  const std::string_view B = DataSet->FieldByName("B").AsString();
  EXPECT_EQ(A, "x&y");
  EXPECT_EQ(B, "1,5");
}

// ---------------------------------------------------------------------------------------
// Encodings

struct TEncodingCase {
  const char* Name;
  std::string Bytes;
  std::string Expected;  // Windows-1252 bytes
};

class Encoding : public testing::TestWithParam<TEncodingCase> {};

TEST_P(Encoding, GivesWindows1252) {
  auto DataSet = Load(GetParam().Bytes);
  EXPECT_EQ(Column(*DataSet, "S"), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, Encoding,
    testing::Values(
        // Declared UTF-8: converted; a stray byte is taken as a Windows-1252 byte.
        TEncodingCase{"Utf8WithStrayByte",
                      OneValue(Utf8Declaration, "Jo\xC3\xA3o 25\xB0 Muria\xC3\xA9"),
                      "Jo\xE3o 25\xB0 Muria\xE9"},
        TEncodingCase{"Utf8OutsideCp1252",
                      OneValue(Utf8Declaration,
                               "\xE2\x82\xAC \xC4\x80 \xF0\x9F\x98\x80 \xE2\x80\x9Cx\xE2\x80\x9D"),
                      "\x80 ? ? \x93x\x94"},
        TEncodingCase{"Utf8TruncatedSequence", OneValue(Utf8Declaration, "a\xC3"), "a\xC3"},
        TEncodingCase{"Utf8DeclaredInLowerCase",
                      OneValue("<?xml version=\"1.0\" encoding=\"utf-8\"?>", "\xC3\xA7"), "\xE7"},
        // Undeclared: Windows-1252 bytes as they stand, never re-encoded...
        TEncodingCase{"Undeclared8Bit",
                      OneValue(PlainDeclaration, "\x93\xFAltima execu\xE7\xE3o\x94"),
                      "\x93\xFAltima execu\xE7\xE3o\x94"},
        TEncodingCase{"NoDeclaration8Bit", OneValue("", "S\xC3O JOS\xC9"), "S\xC3O JOS\xC9"},
        // ...unless the whole file is valid UTF-8 with multi-byte sequences.
        TEncodingCase{"UndeclaredValidUtf8", OneValue(PlainDeclaration, "Jo\xC3\xA3o"), "Jo\xE3o"},
        TEncodingCase{"BomWithoutDeclaration", "\xEF\xBB\xBF" + OneValue("", "\xC3\xA9"), "\xE9"},
        // Declared 8-bit encodings: the bytes as they stand, even when they look like UTF-8.
        TEncodingCase{"Latin1", OneValue("<?xml version=\"1.0\" encoding=\"latin1\"?>", "\xC3\xA3"),
                      "\xC3\xA3"},
        TEncodingCase{"Iso88591",
                      OneValue("<?xml version='1.0' encoding='ISO-8859-1'?>", "\xE7\xC3\xA3"),
                      "\xE7\xC3\xA3"},
        TEncodingCase{"Windows1252",
                      OneValue("<?xml version=\"1.0\" encoding=\"windows-1252\"?>", "\x80"),
                      "\x80"},
        // References in an 8-bit file: up to 255 the byte, above through Windows-1252 or '?'.
        TEncodingCase{
            "ReferencesIn8BitFile",
            OneValue(PlainDeclaration, "&#233;&#xE9;&#150;&#8364;&#x20AC;&#256;&#55357;&#56832;!"),
            "\xE9\xE9\x96\x80\x80?"
            "?!"},
        // References in a UTF-8 file: Unicode characters, converted like the others.
        TEncodingCase{"ReferencesInUtf8File",
                      OneValue(Utf8Declaration, "&#233;&#8364;&#150;&#129;&#x1F600;"),
                      "\xE9\x80?\x81?"},
        TEncodingCase{"Entities", OneValue(PlainDeclaration, "&amp;&lt;&gt;&quot;&apos;&amp;amp;"),
                      "&<>\"'&amp;"},
        TEncodingCase{"UnknownOrBrokenReferencesStayAsWritten",
                      OneValue(PlainDeclaration, "&nbsp; &#; &#xZZ; &#0; &#1114112; a & b"),
                      "&nbsp; &#; &#xZZ; &#0; &#1114112; a & b"},
        // Line breaks survive as references; literal ones become blanks.
        TEncodingCase{"LineBreakReferences",
                      OneValue(PlainDeclaration, "a&#013;&#010;b&#009;c&#010;d&#092;"),
                      "a\r\nb\tc\nd\\"},
        TEncodingCase{"LiteralBreaksBecomeBlanks", OneValue(PlainDeclaration, "a\r\nb\nc\td"),
                      "a b c d"}),
    [](const testing::TestParamInfo<TEncodingCase>& Info) { return Info.param.Name; });

// ---------------------------------------------------------------------------------------
// Field names and values

TEST(Names, FieldnameOverAttrnameAndCaseBlindLookUp) {
  auto DataSet =
      Load(Packet("<FIELD fieldname=\"Species No\" attrname=\"Species_No\" fieldtype=\"i4\"/>"
                  "<FIELD attrname=\"NU_CPF\" fieldtype=\"string\" WIDTH=\"11\"/>"
                  "<FIELD attrname=\"nu_cpf\" fieldtype=\"string\" WIDTH=\"11\"/>"
                  "<FIELD fieldname=\"A&amp;B\" attrname=\"A_B\" fieldtype=\"string\"/>",
                  "<ROW Species_No=\"90020\" NU_CPF=\"1\" nu_cpf=\"2\" A_B=\"3\"/>"));
  ASSERT_EQ(DataSet->FieldCount(), 4);
  EXPECT_EQ(DataSet->Fields(0).FieldName(), "Species No");
  EXPECT_EQ(DataSet->Fields(0).FieldType(), "i4");
  EXPECT_EQ(DataSet->Fields(3).FieldName(), "A&B");
  EXPECT_EQ(DataSet->FindField("species no"), &DataSet->Fields(0));
  EXPECT_EQ(DataSet->FindField("Species_No"), nullptr);  // the name is the fieldname
  EXPECT_EQ(DataSet->FieldByName("SPECIES NO").AsString(), "90020");
  // The first field of a name counts.
  EXPECT_EQ(DataSet->FindField("Nu_Cpf"), &DataSet->Fields(1));
  EXPECT_EQ(DataSet->FieldByName("nu_cpf").AsString(), "1");
  EXPECT_EQ(DataSet->Fields(2).AsString(), "2");
  EXPECT_EQ(DataSet->FieldByName("a&b").AsString(), "3");
  EXPECT_EQ(DataSet->FindField("NU_CP"), nullptr);
  EXPECT_EQ(DataSet->FindField(""), nullptr);
}

TEST(Names, MissingFieldAndBadIndexAreDatabaseErrors) {
  auto DataSet = Load(OneValue(PlainDeclaration, "a"));
  try {
    DataSet->FieldByName("NU_CPF");
    FAIL();
  } catch (const EDatabaseError& Error) {
    EXPECT_EQ(std::string(Error.what()), "campo \"NU_CPF\" n\u00e3o encontrado");
  }
  EXPECT_THROW(DataSet->Fields(1), EDatabaseError);
  EXPECT_THROW(DataSet->Fields(-1), EDatabaseError);
}

TEST(Values, AbsentAndEmptyAreEmptyText) {
  auto DataSet =
      Load(Packet("<FIELD attrname=\"A\"/><FIELD attrname=\"B\"/>"
                  "<FIELD attrname=\"C\"/><FIELD attrname=\"D\" fieldtype=\"r8\"/>"
                  "<FIELD attrname=\"E\" fieldtype=\"dateTime\"/>",
                  "<ROW A=\"x\" B=\"\" D=\"\"/><ROW C=\"z\"/>"));
  EXPECT_EQ(Column(*DataSet, "A"), "x|");
  EXPECT_EQ(Column(*DataSet, "B"), "|");
  EXPECT_EQ(Column(*DataSet, "C"), "|z");
  EXPECT_EQ(Column(*DataSet, "D"), "|");
  EXPECT_EQ(Column(*DataSet, "E"), "|");
}

TEST(Values, AttributesAreFoundInAnyOrder) {
  auto DataSet = Load(Packet(
      "<FIELD attrname=\"A\"/><FIELD attrname=\"B\"/><FIELD attrname=\"C\"/>"
      "<FIELD fieldname=\"C2\" attrname=\"C\"/>",
      "<ROW A=\"1\" B=\"2\" C=\"3\"/><ROW C=\"6\" Extra=\"?\" B=\"5\" RowState=\"4\" A=\"4\"/>"
      "<ROW B=\"8\" A=\"7\" A=\"twice\"/>"));
  EXPECT_EQ(Column(*DataSet, "B"), "2|5|8");
  EXPECT_EQ(Column(*DataSet, "A"), "1|4|7");
  EXPECT_EQ(Column(*DataSet, "C"), "3|6|");
  EXPECT_EQ(Column(*DataSet, "C2"), "3|6|");  // two fields of one attrname share its value
}

TEST(Values, FieldsReadLaterInARecordAreFound) {
  auto DataSet = Load(Packet("<FIELD attrname=\"A\"/><FIELD attrname=\"B\"/>",
                             "<ROW A=\"1\" B=\"2\"/><ROW A=\"3\" B=\"4\"/>"));
  TField& A = DataSet->FieldByName("A");
  TField& B = DataSet->FieldByName("B");
  EXPECT_EQ(A.AsString(), "1");
  EXPECT_EQ(B.AsString(), "2");  // first read after A of the same record
  DataSet->Next();
  EXPECT_EQ(B.AsString(), "4");
  EXPECT_EQ(A.AsString(), "3");
}

// ---------------------------------------------------------------------------------------
// Records: RowState, CHANGE_LOG order, nested rows

struct TOrderCase {
  const char* Name;
  std::string Rows;
  std::string Params;
  std::string Ids;
};

class RecordOrder : public testing::TestWithParam<TOrderCase> {};

TEST_P(RecordOrder, ShowsTheVisibleRowsInTheEnginesOrder) {
  auto DataSet =
      Load(Packet("<FIELD attrname=\"Id\" fieldtype=\"i4\"/>", GetParam().Rows, GetParam().Params));
  const std::string Ids = Column(*DataSet, "Id");
  EXPECT_EQ(Ids, GetParam().Ids);
  EXPECT_EQ(DataSet->RecordCount(),
            Ids.empty() ? 0 : 1 + static_cast<int>(std::count(Ids.begin(), Ids.end(), '|')));
}

INSTANTIATE_TEST_SUITE_P(
    Records, RecordOrder,
    testing::Values(
        TOrderCase{"NoRowStateFileOrder", "<ROW Id=\"3\"/><ROW Id=\"1\"/><ROW Id=\"2\"/>", "",
                   "3|1|2"},
        TOrderCase{"Bits1And2Hide",
                   "<ROW RowState=\"0\" Id=\"0\"/><ROW RowState=\"1\" Id=\"1\"/>"
                   "<ROW RowState=\"2\" Id=\"2\"/><ROW RowState=\"3\" Id=\"3\"/>"
                   "<ROW RowState=\"4\" Id=\"4\"/><ROW RowState=\"5\" Id=\"5\"/>"
                   "<ROW RowState=\"6\" Id=\"6\"/><ROW RowState=\"8\" Id=\"8\"/>"
                   "<ROW RowState=\"12\" Id=\"12\"/><ROW RowState=\"13\" Id=\"13\"/>"
                   "<ROW RowState=\"14\" Id=\"14\"/><ROW RowState=\"64\" Id=\"64\"/>"
                   "<ROW Id=\"99\" RowState=\"1\"/><ROW RowState=\"\" Id=\"100\"/>",
                   "", "0|4|8|12|64|100"},
        // Current version at the end stands where its first version stood.
        TOrderCase{"EditedRecordAtItsFirstPlace",
                   "<ROW RowState=\"5\" Id=\"1\"/><ROW RowState=\"4\" Id=\"2\"/>"
                   "<ROW RowState=\"4\" Id=\"3\"/><ROW RowState=\"12\" Id=\"10\"/>",
                   " CHANGE_LOG=\"1 0 4 2 0 4 3 0 4 4 1 8\"", "10|2|3"},
        TOrderCase{"LongChainsAndDeletions",
                   "<ROW RowState=\"5\" Id=\"1\"/><ROW RowState=\"5\" Id=\"2\"/>"
                   "<ROW RowState=\"13\" Id=\"1\"/><ROW RowState=\"6\" Id=\"3\"/>"
                   "<ROW RowState=\"12\" Id=\"2\"/><ROW RowState=\"12\" Id=\"1\"/>",
                   " CHANGE_LOG=\"1 0 4 2 0 4 3 1 8 4 0 4 5 2 8 6 3 8 4 0 2\"", "1|2"},
        TOrderCase{"AllInsertedFileOrder",
                   "<ROW RowState=\"4\" Id=\"1\"/><ROW RowState=\"4\" Id=\"2\"/>",
                   " CHANGE_LOG=\"1 0 4 2 0 4\"", "1|2"},
        // A malformed log cannot crash anything: what cannot be used is ignored.
        TOrderCase{"LogNotNumbers", "<ROW Id=\"1\"/><ROW Id=\"2\"/>", " CHANGE_LOG=\"FALSE\"",
                   "1|2"},
        TOrderCase{"LogIncomplete", "<ROW Id=\"1\"/><ROW Id=\"2\"/>", " CHANGE_LOG=\"2 1\"", "1|2"},
        TOrderCase{"LogOutOfRange", "<ROW Id=\"1\"/><ROW Id=\"2\"/>",
                   " CHANGE_LOG=\"1 99 8 99 1 8 0 2 8 2 99999999999999999999 8\"", "1|2"},
        TOrderCase{"LogCycle", "<ROW Id=\"1\"/><ROW Id=\"2\"/><ROW Id=\"3\"/>",
                   " CHANGE_LOG=\"3 2 8 2 3 8 1 1 64\"", "1|2|3"},
        TOrderCase{"LogTwoVersionsOneRoot",
                   "<ROW Id=\"1\" RowState=\"4\"/><ROW Id=\"2\"/><ROW Id=\"3\"/><ROW Id=\"4\"/>",
                   " CHANGE_LOG=\"3 1 8 4 1 8\"", "1|3|4|2"}),
    [](const testing::TestParamInfo<TOrderCase>& Info) { return Info.param.Name; });

TEST(Records, NestedRowsAreNotRecords) {
  auto DataSet = Load(Packet(
      "<FIELD attrname=\"Id\" fieldtype=\"i4\"/><FIELD attrname=\"Items\" fieldtype=\"nested\">"
      "<FIELDS><FIELD attrname=\"Qty\" fieldtype=\"i4\"/></FIELDS><PARAMS/></FIELD>"
      "<FIELD attrname=\"Name\" fieldtype=\"string\"/>",
      "<ROW Id=\"1\" Name=\"a\"><Items><ROWItems Qty=\"2\"/><ROWItems RowState=\"2\" Qty=\"5\"/>"
      "</Items></ROW><ROW Id=\"2\" Name=\"b\"/><ROW RowState=\"4\" Id=\"3\" Name=\"c\">"
      "<Items><ROWItems Qty=\"7\"><ROW Id=\"9\"/></ROWItems></Items></ROW>",
      " CHANGE_LOG=\"1 1 64\""));
  ASSERT_EQ(DataSet->FieldCount(), 3);
  EXPECT_EQ(DataSet->FindField("Qty"), nullptr);
  EXPECT_EQ(Column(*DataSet, "Id"), "1|2|3");
  EXPECT_EQ(Column(*DataSet, "Name"), "a|b|c");
  EXPECT_EQ(Column(*DataSet, "Items"), "||");
}

// ---------------------------------------------------------------------------------------
// Typed values

struct TTypedCase {
  const char* Type;
  const char* SubType;
  std::string Written;
  std::string Shown;
};

std::string TypedPacket(const TTypedCase& Case) {
  std::string Field = std::string("<FIELD attrname=\"V\" fieldtype=\"") + Case.Type + "\"";
  if (*Case.SubType) Field += std::string(" SUBTYPE=\"") + Case.SubType + "\"";
  return Packet(Field + "/>", "<ROW V=\"" + Case.Written + "\"/>");
}

class TypedValue : public testing::TestWithParam<TTypedCase> {};

TEST_P(TypedValue, IsShownAsOnABrazilianSystem) {
  auto DataSet = Load(TypedPacket(GetParam()));
  EXPECT_EQ(DataSet->FieldByName("V").AsString(), GetParam().Shown)
      << GetParam().Type << " " << GetParam().Written;
}

INSTANTIATE_TEST_SUITE_P(
    Values, TypedValue,
    testing::Values(
        TTypedCase{"i4", "", "3579", "3579"}, TTypedCase{"i2", "", "-10", "-10"},
        TTypedCase{"i4", "Autoinc", "007", "007"},
        TTypedCase{"i8", "", "9007199254740993", "9007199254740993"},
        TTypedCase{"r8", "", "0.95", "0,95"}, TTypedCase{"r8", "", "2777815", "2777815"},
        TTypedCase{"r8", "", "19.6850393700787", "19,6850393700787"},
        TTypedCase{"r8", "", "90.15748031496059", "90,1574803149606"},
        TTypedCase{"r8", "", "-33292.9375", "-33292,9375"},
        TTypedCase{"r8", "", "123456789012345", "123456789012345"},
        TTypedCase{"r8", "", "1E15", "1E15"}, TTypedCase{"r8", "", "1.5e20", "1,5E20"},
        TTypedCase{"r8", "", "0.0001", "0,0001"}, TTypedCase{"r8", "", "0.00005", "5E-5"},
        TTypedCase{"r8", "", "0", "0"}, TTypedCase{"R8", "", "8.5", "8,5"},
        TTypedCase{"r8", "Money", "1356.75", "1356,75"}, TTypedCase{"r4", "", "0.1", "0,1"},
        TTypedCase{"fixed", "", "12.5000", "12,5"},
        TTypedCase{"fixedFMT", "", "-0012.340", "-12,34"},
        TTypedCase{"fixedFMT", "", "12345678901234567.89", "12345678901234567,89"},
        TTypedCase{"fixed", "", "100", "100"}, TTypedCase{"fixed", "", "-0.000", "0"},
        TTypedCase{"date", "", "19961130", "30/11/1996"},
        TTypedCase{"date", "", "20000229", "29/02/2000"},
        TTypedCase{"time", "", "10:00:00000", "10:00:00"},
        TTypedCase{"time", "", "23:59:59999", "23:59:59"},
        TTypedCase{"dateTime", "", "19950202T01:05:03000", "02/02/1995 01:05:03"},
        TTypedCase{"dateTime", "", "19881228", "28/12/1988"},
        TTypedCase{"dateTime", "", "19881228T00:00:00000", "28/12/1988"},
        TTypedCase{"dateTime", "", "19881228T00:00:00500", "28/12/1988 00:00:00"},
        TTypedCase{"SQLdateTime", "", "19880503T12:00:00000", "03/05/1988 12:00:00"},
        TTypedCase{"boolean", "", "TRUE", "True"}, TTypedCase{"boolean", "", "FALSE", "False"},
        TTypedCase{"boolean", "", "true", "True"},
        TTypedCase{"bin.hex", "Text", "a&#013;&#010;b &lt;c&gt;", "a\r\nb <c>"},
        TTypedCase{"bin.hex", "WideText", "Espa&#241;a",
                   "Espa\xF1"
                   "a"},
        TTypedCase{"string.uni", "", "Espa&#241;a &#1046;",
                   "Espa\xF1"
                   "a ?"},
        TTypedCase{"bin.hex", "Graphics", "AQAAAY5qAABCTQ==",
                   std::string("\x01\x00\x00\x01\x8Ej\x00\x00"
                               "BM",
                               10)},
        TTypedCase{"bin.hex", "", "QUJD", "ABC"}, TTypedCase{"bin.hex", "Binary", "QQ==", "A"},
        TTypedCase{"bin.hex", "TypedBinary", "QUI=", "AB"}, TTypedCase{"nested", "", "ignored", ""},
        TTypedCase{"unknowntype", "", "1.5", "1.5"}),
    [](const testing::TestParamInfo<TTypedCase>& Info) {
      return "Case" + std::to_string(Info.index);
    });

class BadTypedValue : public testing::TestWithParam<TTypedCase> {};

// A typed value that does not parse raises, naming the field, its type and the value.
TEST_P(BadTypedValue, RaisesADatabaseError) {
  auto DataSet = Load(TypedPacket(GetParam()));
  try {
    DataSet->FieldByName("V").AsString();
    FAIL() << "read " << GetParam().Written;
  } catch (const EDatabaseError& Error) {
    EXPECT_EQ(Contains(Error.what(), std::string("campo \"V\" (") + GetParam().Type + ")"), "");
    EXPECT_EQ(Contains(Error.what(), GetParam().Shown), "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, BadTypedValue,
    testing::Values(
        TTypedCase{"r8", "", "abc", "\"abc\" do campo"}, TTypedCase{"r8", "", "1,5", "n\u00famero"},
        TTypedCase{"r8", "Money", "1.5 ", "n\u00famero"}, TTypedCase{"i4", "", "12a", "inteiro"},
        TTypedCase{"i4", "", "-", "inteiro"}, TTypedCase{"fixed", "", "1.2.3", "decimal"},
        TTypedCase{"date", "", "1996-11-30", "AAAAMMDD"},
        TTypedCase{"date", "", "19961131", "AAAAMMDD"},
        TTypedCase{"date", "", "19970229", "AAAAMMDD"},
        TTypedCase{"time", "", "25:00:00000", "HH:MM:SS"},
        TTypedCase{"dateTime", "", "19950202X01:05:03000", "AAAAMMDD"},
        TTypedCase{"dateTime", "", "19950202T1:05:03", "AAAAMMDD"},
        TTypedCase{"boolean", "", "yes", "TRUE ou FALSE"},
        TTypedCase{"bin.hex", "Graphics", "AQI", "Base64"},
        TTypedCase{"bin.hex", "", "QQ=A", "Base64"}, TTypedCase{"bin.hex", "", "Q!==", "Base64"}),
    [](const testing::TestParamInfo<TTypedCase>& Info) {
      return "Case" + std::to_string(Info.index);
    });

// ---------------------------------------------------------------------------------------
// The real packets, read in place

std::unique_ptr<TClientDataSet> LoadReal(const char* Name) {
  auto DataSet = std::make_unique<TClientDataSet>();
  DataSet->LoadFromFile(UTestSupport::RealPacketsDir() / Name);
  DataSet->Open();
  return DataSet;
}

struct TRealCount {
  const char* File;
  std::int32_t Records;
  int Fields;
};

class RealPacket : public testing::TestWithParam<TRealCount> {};

TEST_P(RealPacket, HasItsVisibleRecordsAndEveryValueReads) {
  TRADULO_REQUIRE_REAL_PACKETS();
  auto DataSet = LoadReal(GetParam().File);
  EXPECT_EQ(DataSet->RecordCount(), GetParam().Records);
  ASSERT_EQ(DataSet->FieldCount(), GetParam().Fields);
  std::int32_t Seen = 0;
  for (DataSet->First(); !DataSet->Eof(); DataSet->Next(), ++Seen)
    for (int I = 0; I < DataSet->FieldCount(); ++I)
      EXPECT_NO_THROW(DataSet->Fields(I).AsString()) << DataSet->Fields(I).FieldName();
  EXPECT_EQ(Seen, GetParam().Records);
}

INSTANTIATE_TEST_SUITE_P(Real, RealPacket,
                         testing::Values(TRealCount{"demos-country.xml", 18, 5},
                                         TRealCount{"demos-employee.xml", 42, 6},
                                         TRealCount{"demos-customer.xml", 55, 13},
                                         TRealCount{"demos-orders.xml", 205, 21},
                                         TRealCount{"demos-reservat.xml", 100, 11},
                                         TRealCount{"demos-events.xml", 23, 8},
                                         TRealCount{"jvdbgrid-country-utf8.xml", 18, 6},
                                         TRealCount{"tgbalbino-clientes-utf8.xml", 1, 13},
                                         TRealCount{"bart-dados-cp1252.xml", 4, 3},
                                         TRealCount{"t2ti-tabledadospadroes.xml", 14, 6},
                                         TRealCount{"pedrofamendes-clientes.xml", 1, 14},
                                         TRealCount{"mastering7-cdsdatapacket.xml", 55, 13},
                                         TRealCount{"xmlmapper-countryrep.xrp", 4, 23},
                                         TRealCount{"xmlmapper-tablecountry-skeleton.xml", 0, 2}),
                         [](const testing::TestParamInfo<TRealCount>& Info) {
                           std::string Name;
                           for (const char* P = Info.param.File; *P; ++P)
                             if (std::isalnum(static_cast<unsigned char>(*P))) Name += *P;
                           return Name;
                         });

struct TRealValue {
  const char* File;
  std::int32_t Record;
  const char* Field;
  std::string Value;
};

class RealValue : public testing::TestWithParam<TRealValue> {};

TEST_P(RealValue, ReadsAsTheEngineShowsIt) {
  TRADULO_REQUIRE_REAL_PACKETS();
  auto DataSet = LoadReal(GetParam().File);
  for (std::int32_t I = 0; I < GetParam().Record; ++I) DataSet->Next();
  ASSERT_FALSE(DataSet->Eof());
  EXPECT_EQ(DataSet->FieldByName(GetParam().Field).AsString(), GetParam().Value);
}

INSTANTIATE_TEST_SUITE_P(
    Real, RealValue,
    testing::Values(
        // UTF-8 text becomes Windows-1252; an absent field is empty.
        TRealValue{"tgbalbino-clientes-utf8.xml", 0, "Logradouro",
                   "Avenida Jo\xE3o de Souza Celestino"},
        TRealValue{"tgbalbino-clientes-utf8.xml", 0, "Cidade", "Muria\xE9"},
        TRealValue{"tgbalbino-clientes-utf8.xml", 0, "Complemento", ""},
        // The current version of an edited record, memo line breaks from &#013;&#010;.
        TRealValue{"jvdbgrid-country-utf8.xml", 0, "Text",
                   "This is memo line 1\r\nThis is memo line 2\r\nThis is memo line 3\r\n"
                   "This is memo line 4\r\n"},
        TRealValue{"jvdbgrid-country-utf8.xml", 17, "Name", "Venezuela"},
        TRealValue{"pedrofamendes-clientes.xml", 0, "NUMERO", "1091"},
        TRealValue{"pedrofamendes-clientes.xml", 0, "ID", ""},
        TRealValue{"demos-country.xml", 0, "Area", "2777815"},
        TRealValue{"demos-employee.xml", 0, "HireDate", "28/12/1988"},
        TRealValue{"demos-employee.xml", 5, "Salary", "33292,9375"},
        TRealValue{"demos-customer.xml", 0, "LastInvoiceDate", "02/02/1995 01:05:03"},
        TRealValue{"demos-customer.xml", 0, "TaxRate", "8,5"},
        TRealValue{"mastering7-cdsdatapacket.xml", 0, "LASTINVOICEDATE", "02/02/1995 01:05:03"},
        TRealValue{"demos-orders.xml", 0, "ShipDate", "03/05/1988 12:00:00"},
        TRealValue{"demos-reservat.xml", 0, "Card_Exp", "30/11/1996"},
        TRealValue{"demos-reservat.xml", 0, "Paid", "True"},
        TRealValue{"demos-reservat.xml", 0, "Pay_Notes", ""},
        TRealValue{"demos-events.xml", 0, "Event_Name", "Men's Track and Field"},
        TRealValue{"demos-events.xml", 0, "Event_Time", "10:00:00"},
        TRealValue{"demos-events.xml", 0, "Event_Date", "15/06/1996"},
        TRealValue{"xmlmapper-countryrep.xrp", 0, "NameSpace", ""},
        TRealValue{"xmlmapper-countryrep.xrp", 0, "Attribute", "False"}),
    [](const testing::TestParamInfo<TRealValue>& Info) {
      return "Case" + std::to_string(Info.index);
    });

TEST(Real, Cp1252MemoBytesStandAndRecordsFollowTheirFirstVersions) {
  TRADULO_REQUIRE_REAL_PACKETS();
  auto DataSet = LoadReal("bart-dados-cp1252.xml");
  EXPECT_EQ(Column(*DataSet, "Id"), "5|6|7|8");  // file order would be 7, 8, 5, 6
  DataSet->First();
  DataSet->Next();
  DataSet->Next();
  const std::string Memo(DataSet->FieldByName("Programa").AsString());
  EXPECT_EQ(Contains(Memo, "printf(\x93\xFAltima execu\xE7\xE3o\x94);\r\n\t\t}"), "");
  EXPECT_EQ(Contains(Memo, "while(x<=10){\r\n\t\tprintf(x);"), "");
}

TEST(Real, ChangeLogRecordsAreUnique) {
  TRADULO_REQUIRE_REAL_PACKETS();
  auto DataSet = LoadReal("t2ti-tabledadospadroes.xml");
  EXPECT_EQ(Column(*DataSet, "ID"), "1|2|6|7|8|9|11|12|13|14|15|16|17|18");
}

TEST(Real, GraphicsBlobIsItsBase64Bytes) {
  TRADULO_REQUIRE_REAL_PACKETS();
  auto DataSet = LoadReal("demos-events.xml");
  const std::string_view Photo = DataSet->FieldByName("Event_Photo").AsString();
  ASSERT_EQ(Photo.size(), 27286u);
  EXPECT_EQ(Photo.substr(0, 4), std::string_view("\x01\x00\x00\x01", 4));
  EXPECT_EQ(Photo.substr(8, 2), "BM");
  DataSet->Next();
  DataSet->Next();
  EXPECT_EQ(Contains(DataSet->FieldByName("Event_Description").AsString(),
                     "due to weather.\r\n\r\nSemi-Final round"),
            "");
}

TEST(Real, BinaryPacketIsRefused) {
  TRADULO_REQUIRE_REAL_PACKETS();
  TClientDataSet DataSet;
  try {
    DataSet.LoadFromFile(UTestSupport::RealPacketsDir() / "jvdbgrid-country.cds");
    FAIL();
  } catch (const EDataSetError& Error) {
    EXPECT_EQ(Error.Offset, 0);
    EXPECT_EQ(Contains(Error.Reason, "bin\u00e1rio"), "");
  }
  ExpectClosedAndEmpty(DataSet);
}

TEST(Real, SkeletonHasNoRecords) {
  TRADULO_REQUIRE_REAL_PACKETS();
  auto DataSet = LoadReal("xmlmapper-tablecountry-skeleton.xml");
  EXPECT_TRUE(DataSet->Eof());
  EXPECT_EQ(DataSet->FieldByName("country").FieldName(), "Country");
  EXPECT_EQ(DataSet->FieldByName("City").AsString(), "");
}

}  // namespace

namespace {

// Every value of every record, in order, as the dataset gives them.
std::vector<std::string> AllValues(TClientDataSet& DataSet) {
  std::vector<std::string> Values;
  for (DataSet.First(); !DataSet.Eof(); DataSet.Next())
    for (int Index = 0; Index < DataSet.FieldCount(); ++Index)
      Values.emplace_back(DataSet.Fields(Index).AsString());
  return Values;
}

// A packet of a few megabytes, so its rows are read in several parts; the rows vary in length,
// order of attributes, escapes, absent values and nested rows.
std::string BigPacket(const std::string& AfterRowData) {
  std::string Xml =
      "<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
      "<FIELD attrname=\"ID\" fieldtype=\"i4\"/><FIELD attrname=\"NOME\" fieldtype=\"string\" "
      "WIDTH=\"80\"/><FIELD attrname=\"VALOR\" fieldtype=\"r8\"/><FIELD attrname=\"OBS\" "
      "fieldtype=\"string\" WIDTH=\"200\"/></FIELDS><PARAMS/></METADATA><ROWDATA>" +
      AfterRowData;
  for (int Row = 1; Row <= 30000; ++Row) {
    const std::string Id = std::to_string(Row);
    const std::string Name = "Jos\xe9 &amp; filhos " + std::string(Row % 37, 'x') + Id;
    if (Row % 5 == 0)
      Xml += "<ROW OBS=\"linha&#013;&#010;" + Id + "\" NOME=\"" + Name + "\" ID=\"" + Id + "\"/>";
    else if (Row % 7 == 0)
      Xml += "<ROW ID=\"" + Id + "\"><!-- comentário --><ROW NOME=\"aninhado\"/></ROW>";
    else
      Xml += "<ROW ID=\"" + Id + "\" NOME=\"" + Name + "\" VALOR=\"" + Id + ".25\"/>";
  }
  return Xml + "</ROWDATA></DATAPACKET>";
}

}  // namespace

TEST(LargePackets, RowsReadInPartsMatchTheWholeDocument) {
  TClientDataSet InParts, Whole;
  const std::string Packet = BigPacket("");
  ASSERT_GT(Packet.size(), 2u << 20);
  InParts.LoadFromBytes(Packet);
  // A processing instruction among the rows sends the reader to the whole-document parse.
  Whole.LoadFromBytes(BigPacket("<?pi x?>"));
  ASSERT_EQ(InParts.RecordCount(), 30000);
  ASSERT_EQ(Whole.RecordCount(), 30000);
  const std::vector<std::string> Values = AllValues(InParts);
  EXPECT_EQ(Values, AllValues(Whole));
  EXPECT_EQ(Values[4 * 4 + 3], "linha\r\n5");
  EXPECT_EQ(Values[6 * 4 + 1], "");  // row 7 has only its ID; the nested row is not a record
  EXPECT_EQ(Values[29998 * 4 + 2], "29999,25");
}

TEST(LargePackets, AFaultInALaterPartIsALoadFailure) {
  std::string Packet = BigPacket("");
  Packet.insert(Packet.size() - 2000, "<ROW ID=\"1\" ID=\"2\" <");
  TClientDataSet DataSet;
  try {
    DataSet.LoadFromBytes(Packet, "grande.xml");
    FAIL() << "expected a load failure";
  } catch (const EDataSetError& Error) {
    EXPECT_GT(Error.Offset, static_cast<std::int64_t>(Packet.size() - 3000)) << Error.what();
    EXPECT_NE(std::string(Error.what()).find("grande.xml"), std::string::npos);
  }
  EXPECT_FALSE(DataSet.Active());
}
