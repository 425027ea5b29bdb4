// The output failing while it is written: at the first flush, on the bytes of a line end,
// at the final write-out, and the same seen from tradulo-cli with a file-size limit.
#include <gtest/gtest.h>

#include <cerrno>

#include "UFaultSupport.h"

using namespace UFaultSupport;
using UTestSupport::ReadBytes;
using UTestSupport::TScratchDir;
using UTestSupport::WriteBytes;

TEST(WriteFaults, DiskFullOnAFlushFailsThatRecord) {
  struct TCase {
    const char* Name;
    std::size_t Buffer, FullAfter;
    int Records;
    std::size_t BytesKept;
    std::string CauseStarts;
  } const Cases[] = {
      // Byte 128 lies in the eighth column.
      {"the very first flush", 128, 0, 0, 0, "registro 1, campo CO_PALTIR4: "},
      {"on the CR of the first line end", 172, 171, 0, 171, "registro 1: "},
      {"on the LF of the first line end", 173, 172, 0, 172, "registro 1: "},
      {"on the LF of the second line end", 173, 173 + 172, 1, 173 + 172, "registro 2: "},
  };
  TMemoryScratchDir Dir;
  WriteBytes(Dir / "entrada.xml", Packet(3));
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TFullDiskTextFile Writer(Case.Buffer, Case.FullAfter);
    const TRun Run = RunFile(Dir, Dir / "entrada.xml", &Writer);
    ExpectClean(Run);
    EXPECT_EQ(Run.Outcome, TRunOutcome::RecordFailed);
    EXPECT_EQ(Run.Records, Case.Records);
    EXPECT_EQ(Run.Output, Lines(3).substr(0, Case.BytesKept));
    ASSERT_EQ(Run.Causes.size(), 1u);
    EXPECT_EQ(Run.Causes[0].substr(0, Case.CauseStarts.size()), Case.CauseStarts) << Run.Causes[0];
    EXPECT_NE(Run.Causes[0].find("No space left on device"), std::string::npos) << Run.Causes[0];
  }
}

TEST(WriteFaults, DiskFullAtTheFinalWriteOutIsNoSuccess) {
  TMemoryScratchDir Dir;
  WriteBytes(Dir / "entrada.xml", Packet(2));
  TRecordingHost Host;
  Host.Input = Dir / "entrada.xml";
  Host.Output = Dir / "saida.txt";
  UClientDataSet::TClientDataSet DataSet;
  TFullDiskTextFile Writer(64 * 1024, 200);
  try {
    UConversionRun::RunConversion(Host, DataSet, Writer);
    ADD_FAILURE() << "the run ended as if every record had been written";
  } catch (const UTextFile::EInOutError& Error) {
    EXPECT_EQ(Error.ErrorCode, ENOSPC) << Error.what();
  }
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_FALSE(Host.Busy);
  EXPECT_EQ(Host.Bar.Position, 0);
  EXPECT_FALSE(Writer.IsOpen());
  EXPECT_EQ(ReadBytes(Host.Output), Lines(2).substr(0, 200));
}

TEST(WriteFaults, CommandLineAtAFileSizeLimit) {
  TScratchDir Dir;
  WriteBytes(Dir / "grande.xml", Packet(1000));
  WriteBytes(Dir / "pequeno.xml", Packet(10));
  struct TCase {
    const char* Name;
    const char* Input;
    int Rows;
    rlim_t Limit;
    std::string FirstLineHas, ErrHas;
  } const Cases[] = {
      // Past the first buffer: the record being written fails.
      {"mid-run", "grande.xml", 1000, 100000, UConversionRun::RecordFailureMessage,
       "\nCausa: registro "},
      // Everything still buffered when the run closes the file.
      {"at the close", "pequeno.xml", 10, 1000, "n\xc3\xa3o foi poss\xc3\xadvel gravar", ""},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TCliOptions Options;
    Options.FileSizeLimit = Case.Limit;
    const TCliResult Result = RunCli(Dir, {Dir / Case.Input, Dir / "saida.txt"}, Options);
    EXPECT_EQ(Result.ExitCode, 1) << Result.Err;
    EXPECT_NE(FirstLine(Result.Err).find(Case.FirstLineHas), std::string::npos) << Result.Err;
    EXPECT_NE(Result.Err.find(Case.ErrHas), std::string::npos) << Result.Err;
    EXPECT_NE(Result.Err.find("File too large"), std::string::npos) << Result.Err;
    EXPECT_EQ(ReadBytes(Dir / "saida.txt"), Lines(Case.Rows).substr(0, Case.Limit));
  }
}
