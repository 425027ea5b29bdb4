// libFuzzer target: the whole conversion run of one packet, through a host that only
// records and a writer that keeps its bytes in memory.
//
// What the run wrote is held against what the dataset it loaded presents: on success
// every record as one line of fitted columns and CR LF, on a record failure the records
// before it and the columns of the failing one up to the fault, on a load failure nothing.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "UConversionRun.h"
#include "URecordLayout.h"
#include "URecordingHost.h"

using namespace UConversionRun;
using URecordLayout::RecordLayout;

namespace {

void Check(bool Condition, const char* What) {
  if (Condition) return;
  std::fprintf(stderr, "conversion invariant broken: %s\n", What);
  std::abort();
}

// The writer with its own buffering intact; what reaches the system is kept in memory.
class TMemoryTextFile final : public UTextFile::TTextFile {
 public:
  using TTextFile::TTextFile;
  std::string Bytes;

 protected:
  int SysWrite(std::FILE*, const char* Data, std::size_t Size) override {
    Bytes.append(Data, Size);
    return 0;
  }
};

// A scratch folder in memory for the packet and the (empty) output file.
struct TScratch {
  std::filesystem::path Dir;
  TScratch() {
    Dir = std::filesystem::path("/dev/shm") / ("tradulo-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(Dir);
  }
  ~TScratch() {
    std::error_code Ignored;
    std::filesystem::remove_all(Dir, Ignored);
  }
};

void WriteFile(const std::filesystem::path& Path, const std::uint8_t* Data, std::size_t Size) {
  std::FILE* File = std::fopen(Path.c_str(), "wb");
  Check(File != nullptr, "cannot create the scratch packet");
  Check(std::fwrite(Data, 1, Size, File) == Size && std::fclose(File) == 0,
        "cannot write the scratch packet");
}

// The bytes the run should have written for the dataset as it stands after the run, and
// whether it should have got through every record.
std::string Expected(UClientDataSet::TClientDataSet& DataSet, bool& Complete) {
  std::string Bytes;
  Complete = true;
  for (DataSet.First(); !DataSet.Eof(); DataSet.Next()) {
    const std::size_t LineStart = Bytes.size();
    for (const URecordLayout::TColumn& Column : RecordLayout) {
      UClientDataSet::TField* Field = DataSet.FindField(Column.FieldName);
      try {
        if (Field == nullptr) throw UClientDataSet::EDatabaseError(std::string(Column.FieldName));
        Bytes += URecordLayout::PadField(Field->AsString(), Column.Width);
      } catch (const UClientDataSet::EDatabaseError&) {
        Complete = false;
        return Bytes;
      }
    }
    Bytes += "\r\n";
    Check(Bytes.size() - LineStart >= URecordLayout::RecordWidth + 2u, "a line under 171 bytes");
  }
  return Bytes;
}

double FakeClock() {
  static double Now = 46000.0;
  return Now += 1.0 / 86400000.0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  static TScratch Scratch;
  UTestSupport::TRecordingHost Host;
  Host.Input = Scratch.Dir / "entrada.xml";
  Host.Output = Scratch.Dir / "saida.txt";
  WriteFile(Host.Input, Data, Size);
  UAlgumasFuncoes::ResetEstimator();
  UAlgumasFuncoes::SetClock(FakeClock);

  // Buffers from one byte up, so that flushes fall on every kind of boundary.
  TMemoryTextFile Output(Size % 3 == 0 ? 64 * 1024 : 1 + Size % 199);
  UClientDataSet::TClientDataSet DataSet;
  TRunResult Result;
  try {
    Result = RunConversion(Host, DataSet, Output);
  } catch (const UAlgumasFuncoes::EMathError&) {
    // The estimate may fail on odd counts; the run lets that out after giving the host back.
    Check(!Host.Busy && Host.Bar.Position == 0, "host not given back after an estimate fault");
    return 0;
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "unexpected exception out of the run: %s\n", Error.what());
    std::abort();
  }

  Check(!Output.IsOpen(), "the output is left open");
  Check(!Host.Busy && Host.Bar.Position == 0, "the host is not given back");
  switch (Result.Outcome) {
    case TRunOutcome::LoadFailed:
      Check(Host.Messages == std::vector<std::string>{LoadFailureMessage}, "load message");
      Check(Output.Bytes.empty() && Result.RecordsWritten == 0, "bytes after a load failure");
      break;
    case TRunOutcome::Converted: {
      Check(Host.Messages.empty(), "a message after a clean run");
      Check(Result.RecordsWritten == DataSet.RecordCount(), "records written != record count");
      Check(Host.Bar.Max == DataSet.RecordCount(), "progress maximum != record count");
      bool Complete = false;
      Check(Output.Bytes == Expected(DataSet, Complete) && Complete, "wrong bytes written");
      break;
    }
    case TRunOutcome::RecordFailed: {
      Check(Host.Messages == std::vector<std::string>{RecordFailureMessage}, "record message");
      Check(Result.RecordsWritten < DataSet.RecordCount(), "a failure after the last record");
      bool Complete = true;
      Check(Output.Bytes == Expected(DataSet, Complete) && !Complete, "wrong bytes written");
      break;
    }
    case TRunOutcome::SameFile:
      Check(false, "two different paths taken for the same file");
  }
  return 0;
}
