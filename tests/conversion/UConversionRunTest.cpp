// The run through a recording host: bytes written, messages, what is left on disk and what
// the host is given back on every way out.
#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "UConversionRun.h"
#include "URecordLayout.h"
#include "UTestSupport.h"

using namespace UConversionRun;
using UTestSupport::ReadBytes;
using UTestSupport::TScratchDir;
using UTestSupport::WriteBytes;

namespace {

class TRecordingHost : public TConversionHost {
 public:
  std::filesystem::path Input, Output;
  UAlgumasFuncoes::TProgressBar Bar;
  std::vector<std::string> Messages, StatusTexts;
  std::vector<bool> BusyStates;
  int Pumps = 0;
  int MaxSeen = -1;

  std::filesystem::path OutputPath() override { return Output; }
  std::filesystem::path InputPath() override { return Input; }
  UAlgumasFuncoes::TProgressBar& ProgressBar() override { return Bar; }
  void ProgressChanged() override { MaxSeen = Bar.Max; }
  void SetStatusText(const std::string& Text) override { StatusTexts.push_back(Text); }
  void SetBusy(bool Busy) override { BusyStates.push_back(Busy); }
  void ProcessMessages() override { ++Pumps; }
  void ShowMessage(const std::string& Text) override { Messages.push_back(Text); }
};

// Simulates a full disk after a number of bytes, or a close that fails.
class TFaultyTextFile : public UTextFile::TTextFile {
 public:
  TFaultyTextFile(std::size_t BufferSize, std::size_t BytesBeforeFull, bool CloseFails)
      : TTextFile(BufferSize), BytesLeft(BytesBeforeFull), CloseFails(CloseFails) {}

 protected:
  int SysWrite(std::FILE* File, const char* Data, std::size_t Size) override {
    const std::size_t Now = std::min(Size, BytesLeft);
    BytesLeft -= Now;
    if (Now > 0) TTextFile::SysWrite(File, Data, Now);
    return Now < Size ? ENOSPC : 0;
  }
  int SysClose(std::FILE* File) override {
    const int Result = TTextFile::SysClose(File);
    return CloseFails ? EIO : Result;
  }

 private:
  std::size_t BytesLeft;
  bool CloseFails;
};

const char* const Names[] = {
    "CO_UNIDADE", "NO_FANTASIA", "CO_MUNICIPIO_GESTOR", "CO_PALTIR", "CO_PALTIR1", "CO_PALTIR2",
    "CO_PALTIR3", "CO_PALTIR4",  "CO_PALTIR5",          "NU_CNPJ",   "NU_CPF",     "CO_DUMARE"};

// A packet with the twelve fields (spelled as given) plus an unused one, and the given rows.
std::string Packet(const std::vector<std::string>& Rows, bool LowerCaseNames = false,
                   const std::string& Without = "") {
  std::string Xml =
      "<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\">"
      "<METADATA><FIELDS><FIELD attrname=\"EXTRA\" fieldtype=\"string\" WIDTH=\"5\"/>";
  for (std::string Name : Names) {
    if (Name == Without) continue;
    if (LowerCaseNames)
      for (char& C : Name) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    Xml += "<FIELD attrname=\"" + Name + "\" fieldtype=\"string\" WIDTH=\"60\"/>";
  }
  Xml += "</FIELDS><PARAMS/></METADATA><ROWDATA>";
  for (const std::string& Row : Rows) Xml += "<ROW " + Row + "/>";
  return Xml + "</ROWDATA></DATAPACKET>";
}

// A row whose twelve values are "<column><n>", attributes spelled as the packet spells them.
std::string Row(int N, bool LowerCaseNames = false) {
  std::string Attributes = "EXTRA=\"zz\"";
  for (int Column = 0; Column < 12; ++Column) {
    std::string Name = Names[Column];
    if (LowerCaseNames)
      for (char& C : Name) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    Attributes += " " + Name + "=\"c" + std::to_string(Column) + "r" + std::to_string(N) + "\"";
  }
  return Attributes;
}

// The expected line of Row(N): every column padded to its width, then CR LF.
std::string Line(int N) {
  std::string Text;
  for (int Column = 0; Column < 12; ++Column)
    Text += URecordLayout::PadField("c" + std::to_string(Column) + "r" + std::to_string(N),
                                    URecordLayout::RecordLayout[Column].Width);
  return Text + "\r\n";
}

class ConversionRun : public ::testing::Test {
 protected:
  void SetUp() override {
    UAlgumasFuncoes::ResetEstimator();
    UAlgumasFuncoes::SetClock([] { return 46000.5; });
    Host.Input = Dir / "entrada.xml";
    Host.Output = Dir / "saida.txt";
  }
  void TearDown() override { UAlgumasFuncoes::SetClock(nullptr); }

  TRunResult Run() { return RunConversion(Host, DataSet, Output); }
  TRunResult Run(UTextFile::TTextFile& Writer) { return RunConversion(Host, DataSet, Writer); }

  void ExpectGivenBack() {
    ASSERT_FALSE(Host.BusyStates.empty());
    EXPECT_FALSE(Host.BusyStates.back());
    EXPECT_EQ(Host.Bar.Position, 0);
  }

  TScratchDir Dir;
  TRecordingHost Host;
  UClientDataSet::TClientDataSet DataSet;
  UTextFile::TTextFile Output;
};

}  // namespace

TEST_F(ConversionRun, WritesEveryRecordAndGivesTheHostBack) {
  WriteBytes(Host.Input, Packet({Row(1), Row(2), Row(3)}));
  WriteBytes(Host.Output, "old contents that must go");

  const TRunResult Result = Run();

  EXPECT_EQ(Result.Outcome, TRunOutcome::Converted);
  EXPECT_EQ(Result.RecordsWritten, 3);
  EXPECT_EQ(ReadBytes(Host.Output), Line(1) + Line(2) + Line(3));
  EXPECT_EQ(Line(1).size(), 173u);
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_EQ(Host.MaxSeen, 3);
  EXPECT_EQ(Host.Pumps, 3);
  EXPECT_EQ(Host.BusyStates, (std::vector<bool>{true, false}));
  EXPECT_EQ(Host.Bar.Position, 0);
  // The clock stands still: the first record restarts the measurement, the others estimate 0.
  EXPECT_EQ(Host.StatusTexts, (std::vector<std::string>{"Tempo Restante Indefinido",
                                                        "0 Minuto(s) 0 Segundo(s) Restante(s)",
                                                        "0 Minuto(s) 0 Segundo(s) Restante(s)"}));
}

TEST_F(ConversionRun, ValuesAreFittedNotCut) {
  const std::string Long35(35, 'U');
  std::string RowText = Row(1, true);
  // Over-long first column, a line break inside a value, a trailing no-break space, blanks.
  RowText.replace(RowText.find("co_unidade=\"c0r1\""), 17, "co_unidade=\"" + Long35 + "\"");
  RowText.replace(RowText.find("no_fantasia=\"c1r1\""), 18,
                  "no_fantasia=\" &#009;Sa&#250;de&#013;&#010;Centro&#160;  \"");
  WriteBytes(Host.Input, Packet({RowText}, true));

  ASSERT_EQ(Run().Outcome, TRunOutcome::Converted);

  const std::string Bytes = ReadBytes(Host.Output);
  const std::string Fantasia =
      "Sa\xfa"
      "de\r\nCentro\xa0";
  EXPECT_EQ(Bytes.substr(0, 35), Long35);
  EXPECT_EQ(Bytes.substr(35, 60), Fantasia + std::string(60 - Fantasia.size(), ' '));
  EXPECT_EQ(Bytes.size(), 173u + 4u);
}

TEST_F(ConversionRun, EmptyDatasetGivesEmptyFileAndNoMessage) {
  WriteBytes(Host.Input, Packet({}));
  WriteBytes(Host.Output, "old");
  EXPECT_EQ(Run().Outcome, TRunOutcome::Converted);
  EXPECT_TRUE(std::filesystem::exists(Host.Output));
  EXPECT_EQ(std::filesystem::file_size(Host.Output), 0u);
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_TRUE(Host.StatusTexts.empty());
  ExpectGivenBack();
}

TEST_F(ConversionRun, MissingFieldKeepsTheColumnsBeforeIt) {
  WriteBytes(Host.Input, Packet({Row(1), Row(2)}, false, "NU_CPF"));
  const TRunResult Result = Run();
  EXPECT_EQ(Result.Outcome, TRunOutcome::RecordFailed);
  EXPECT_EQ(Host.Messages, std::vector<std::string>{RecordFailureMessage});
  EXPECT_EQ(ReadBytes(Host.Output), Line(1).substr(0, 153));
  EXPECT_TRUE(Host.StatusTexts.empty());
  ExpectGivenBack();
}

TEST_F(ConversionRun, LoadFailureLeavesAnEmptyOutput) {
  struct TCase {
    const char* Name;
    std::string Bytes;
    bool Write;
  };
  const TCase Cases[] = {{"not a packet", "just text", true},
                         {"empty file", "", true},
                         {"truncated", Packet({Row(1)}).substr(0, 300), true},
                         {"missing file", "", false}};
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    std::filesystem::remove(Host.Input);
    if (Case.Write) WriteBytes(Host.Input, Case.Bytes);
    WriteBytes(Host.Output, "earlier file");
    Host.Messages.clear();
    EXPECT_EQ(Run().Outcome, TRunOutcome::LoadFailed);
    EXPECT_EQ(Host.Messages, std::vector<std::string>{LoadFailureMessage});
    EXPECT_EQ(ReadBytes(Host.Output), "");
    EXPECT_TRUE(std::filesystem::exists(Host.Output));
    ExpectGivenBack();
  }
}

TEST_F(ConversionRun, RefusesTheInputAsOutputWhateverTheSpelling) {
  const std::string Input = Packet({Row(1)});
  WriteBytes(Host.Input, Input);
  std::filesystem::create_directory(Dir / "sub");
  std::filesystem::create_symlink(Host.Input, Dir / "link.xml");
  std::filesystem::create_hard_link(Host.Input, Dir / "hard.xml");
  for (const std::filesystem::path& Output :
       {Host.Input, Dir.Path / "sub" / ".." / "entrada.xml", Dir / "link.xml", Dir / "hard.xml"}) {
    SCOPED_TRACE(Output.string());
    Host.Output = Output;
    Host.Messages.clear();
    EXPECT_EQ(Run().Outcome, TRunOutcome::SameFile);
    EXPECT_EQ(Host.Messages, std::vector<std::string>{SameFileMessage});
    EXPECT_EQ(ReadBytes(Host.Input), Input);
    EXPECT_TRUE(std::filesystem::is_symlink(Dir / "link.xml"));
  }
  EXPECT_TRUE(Host.BusyStates.empty());
}

TEST_F(ConversionRun, OutputThatCannotBeCreatedReportsItsOwnCause) {
  WriteBytes(Host.Input, Packet({Row(1)}));
  Host.Output = Dir / "no-such-folder" / "saida.txt";
  try {
    Run();
    FAIL() << "expected an I/O error";
  } catch (const UTextFile::EInOutError& Error) {
    EXPECT_EQ(Error.ErrorCode, ENOENT) << Error.what();
  }
  EXPECT_TRUE(Host.Messages.empty());
  ExpectGivenBack();
  EXPECT_FALSE(DataSet.Active());  // the input was never read
}

TEST_F(ConversionRun, DiskFullMidRunFailsTheRecord) {
  WriteBytes(Host.Input, Packet({Row(1), Row(2), Row(3)}));
  TFaultyTextFile Writer(128, 200, false);
  const TRunResult Result = Run(Writer);
  EXPECT_EQ(Result.Outcome, TRunOutcome::RecordFailed);
  EXPECT_EQ(Result.RecordsWritten, 1);  // the flush in the second record fails
  EXPECT_EQ(Host.Messages, std::vector<std::string>{RecordFailureMessage});
  EXPECT_EQ(ReadBytes(Host.Output), (Line(1) + Line(2)).substr(0, 200));
  ExpectGivenBack();
}

TEST_F(ConversionRun, FailingCloseIsReportedAfterTheHostIsGivenBack) {
  WriteBytes(Host.Input, Packet({Row(1)}));
  TFaultyTextFile Writer(64 * 1024, 1 << 20, true);
  EXPECT_THROW(Run(Writer), UTextFile::EInOutError);
  ExpectGivenBack();
  EXPECT_FALSE(Writer.IsOpen());
}
