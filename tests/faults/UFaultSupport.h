// Shared by the fault tests: packets of the twelve fields and the lines they give, one run
// through a recording host, and tradulo-cli as a child process under a watchdog.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "UConversionRun.h"
#include "URecordLayout.h"
#include "URecordingHost.h"
#include "UTestSupport.h"

namespace UFaultSupport {

using UConversionRun::TRunOutcome;
using URecordLayout::RecordLayout;

inline constexpr const char* PlainDeclaration = "<?xml version=\"1.0\" standalone=\"yes\"?>  ";
inline constexpr const char* Utf8Declaration =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>  ";

inline std::string Fields() {
  std::string Xml = "<METADATA><FIELDS>";
  for (const URecordLayout::TColumn& Column : RecordLayout)
    Xml.append("<FIELD attrname=\"")
        .append(Column.FieldName)
        .append("\" fieldtype=\"string\" WIDTH=\"60\"/>");
  return Xml + "</FIELDS><PARAMS/></METADATA>";
}

// A packet of the twelve fields whose ROWDATA holds Rows as they are given.
inline std::string PacketWithRowData(const std::string& RowData,
                                     const char* Declaration = PlainDeclaration) {
  return Declaration + ("<DATAPACKET Version=\"2.0\">" + Fields()) + "<ROWDATA>" + RowData +
         "</ROWDATA></DATAPACKET>";
}

// The attributes of row N: column C holds "c<C>r<N>", or Replaced in the column named.
inline std::string Row(int N, std::string_view Column = {}, std::string_view Replaced = {}) {
  std::string Attributes;
  for (std::size_t C = 0; C < RecordLayout.size(); ++C) {
    Attributes.append(C == 0 ? "" : " ").append(RecordLayout[C].FieldName).append("=\"");
    if (RecordLayout[C].FieldName == Column)
      Attributes.append(Replaced);
    else
      Attributes.append("c" + std::to_string(C) + "r" + std::to_string(N));
    Attributes += '"';
  }
  return Attributes;
}

inline std::string Packet(int Rows, const char* Declaration = PlainDeclaration) {
  std::string RowData;
  for (int N = 1; N <= Rows; ++N) RowData += "<ROW " + Row(N) + "/>";
  return PacketWithRowData(RowData, Declaration);
}

// The line row N gives, Value (as the file should hold it) in the column named.
inline std::string Line(int N, std::string_view Column = {}, std::string_view Value = {}) {
  std::string Text;
  for (std::size_t C = 0; C < RecordLayout.size(); ++C)
    Text += URecordLayout::PadField(RecordLayout[C].FieldName == Column
                                        ? std::string(Value)
                                        : "c" + std::to_string(C) + "r" + std::to_string(N),
                                    RecordLayout[C].Width);
  return Text + "\r\n";
}

inline std::string Lines(int Rows) {
  std::string Text;
  for (int N = 1; N <= Rows; ++N) Text += Line(N);
  return Text;
}

using UTestSupport::TRecordingHost;

// What one run left: its outcome, what it said, and the output file afterwards.
struct TRun {
  TRunOutcome Outcome = TRunOutcome::Converted;
  std::int32_t Records = 0;
  std::int32_t Max = 0;
  std::vector<std::string> Messages, Causes;
  bool GivenBack = false;
  bool OutputExists = false;
  std::string Output;
};

// A scratch folder in memory (/dev/shm) where there is one, else in the temporary folder:
// the packet tests run a thousand conversions each, and on a disk that discards blocks on
// every truncation the file system, not the code under test, would set their pace.
class TMemoryScratchDir {
 public:
  TMemoryScratchDir() {
    std::random_device Random;
    const std::filesystem::path Base = std::filesystem::is_directory("/dev/shm")
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    Path = Base / ("tradulo-faults-" + std::to_string(Random()) + std::to_string(Random()));
    std::filesystem::create_directories(Path);
  }
  ~TMemoryScratchDir() {
    std::error_code Ignored;
    std::filesystem::remove_all(Path, Ignored);
  }
  TMemoryScratchDir(const TMemoryScratchDir&) = delete;
  TMemoryScratchDir& operator=(const TMemoryScratchDir&) = delete;
  std::filesystem::path operator/(const std::string& Name) const { return Path / Name; }
  std::filesystem::path Path;
};

// Runs the conversion of the file at Input into Dir/saida.txt (an old file there first).
inline TRun RunFile(const TMemoryScratchDir& Dir, const std::filesystem::path& Input,
                    UTextFile::TTextFile* Writer = nullptr) {
  TRecordingHost Host;
  Host.Input = Input;
  Host.Output = Dir / "saida.txt";
  UTestSupport::WriteBytes(Host.Output, "an earlier file");
  UClientDataSet::TClientDataSet DataSet;
  UTextFile::TTextFile Output;
  const UConversionRun::TRunResult Result =
      UConversionRun::RunConversion(Host, DataSet, Writer ? *Writer : Output);
  TRun Run;
  Run.Outcome = Result.Outcome;
  Run.Records = Result.RecordsWritten;
  Run.Max = Host.Bar.Max;
  Run.Messages = Host.Messages;
  Run.Causes = Host.Causes;
  Run.GivenBack = !Host.Busy && Host.Bar.Position == 0;
  Run.OutputExists = std::filesystem::is_regular_file(Host.Output);
  if (Run.OutputExists) {
    // One read: the output of a huge value runs to a hundred megabytes.
    Run.Output.resize(std::filesystem::file_size(Host.Output));
    std::FILE* File = std::fopen(Host.Output.c_str(), "rb");
    EXPECT_TRUE(File &&
                std::fread(Run.Output.data(), 1, Run.Output.size(), File) == Run.Output.size());
    if (File) std::fclose(File);
  }
  return Run;
}

inline TRun RunBytes(const TMemoryScratchDir& Dir, std::string_view Bytes) {
  UTestSupport::WriteBytes(Dir / "entrada.xml", Bytes);
  return RunFile(Dir, Dir / "entrada.xml");
}

// The run ended in one of its three ways, said so, and gave the host back. After a load
// failure the output is there and empty.
inline void ExpectClean(const TRun& Run) {
  EXPECT_TRUE(Run.GivenBack);
  EXPECT_TRUE(Run.OutputExists);
  switch (Run.Outcome) {
    case TRunOutcome::Converted:
      EXPECT_TRUE(Run.Messages.empty());
      EXPECT_EQ(Run.Records, Run.Max);
      break;
    case TRunOutcome::LoadFailed:
      EXPECT_EQ(Run.Messages, std::vector<std::string>{UConversionRun::LoadFailureMessage});
      EXPECT_EQ(Run.Output, "");
      EXPECT_EQ(Run.Causes.size(), 1u);
      break;
    case TRunOutcome::RecordFailed:
      EXPECT_EQ(Run.Messages, std::vector<std::string>{UConversionRun::RecordFailureMessage});
      EXPECT_LT(Run.Records, Run.Max);
      break;
    case TRunOutcome::SameFile:
      ADD_FAILURE() << "two paths taken for one file";
  }
}

// A writer whose disk is full after a number of bytes, as the system would leave it: the
// bytes that fit reach the file, the write then fails.
class TFullDiskTextFile : public UTextFile::TTextFile {
 public:
  TFullDiskTextFile(std::size_t BufferSize, std::size_t BytesBeforeFull)
      : TTextFile(BufferSize), BytesLeft(BytesBeforeFull) {}

 protected:
  int SysWrite(std::FILE* File, const char* Data, std::size_t Size) override {
    const std::size_t Now = std::min(Size, BytesLeft);
    BytesLeft -= Now;
    if (Now > 0)
      if (const int Error = TTextFile::SysWrite(File, Data, Now)) return Error;
    return Now < Size ? ENOSPC : 0;
  }

 private:
  std::size_t BytesLeft;
};

struct TCliResult {
  int ExitCode = -1;
  bool TimedOut = false;
  std::string Out, Err;
};

struct TCliOptions {
  std::filesystem::path WorkDir;         // the child's current folder; the test's when empty
  rlim_t FileSizeLimit = RLIM_INFINITY;  // the largest file the child may write
  std::chrono::seconds Timeout{20};      // then the child is killed
};

inline std::string FirstLine(const std::string& Text) { return Text.substr(0, Text.find('\n')); }

// tradulo-cli with Args, stdin from /dev/null, stdout and stderr caught in Dir.
inline TCliResult RunCli(const UTestSupport::TScratchDir& Dir, const std::vector<std::string>& Args,
                         const TCliOptions& Options = {}) {
  const std::string OutPath = (Dir / "cli-stdout").string();
  const std::string ErrPath = (Dir / "cli-stderr").string();
  std::vector<std::string> Words{TRADULO_CLI};
  Words.insert(Words.end(), Args.begin(), Args.end());
  std::vector<char*> Argv;
  for (std::string& Word : Words) Argv.push_back(Word.data());
  Argv.push_back(nullptr);
  const std::string WorkDir = Options.WorkDir.string();

  const pid_t Child = ::fork();
  if (Child == 0) {
    // Only async-signal-safe calls until exec.
    if (!WorkDir.empty() && ::chdir(WorkDir.c_str()) != 0) ::_exit(126);
    const int In = ::open("/dev/null", O_RDONLY);
    const int Out = ::open(OutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int Err = ::open(ErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (In < 0 || Out < 0 || Err < 0) ::_exit(126);
    ::dup2(In, 0);
    ::dup2(Out, 1);
    ::dup2(Err, 2);
    if (Options.FileSizeLimit != RLIM_INFINITY) {
      // Past the limit a write fails with EFBIG, as on a full disk, instead of killing.
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit Limit{Options.FileSizeLimit, Options.FileSizeLimit};
      if (::setrlimit(RLIMIT_FSIZE, &Limit) != 0) ::_exit(126);
    }
    ::execv(Argv[0], Argv.data());
    ::_exit(127);
  }
  TCliResult Result;
  if (Child < 0) return Result;
  const auto Deadline = std::chrono::steady_clock::now() + Options.Timeout;
  int Status = 0;
  for (;;) {
    const pid_t Done = ::waitpid(Child, &Status, WNOHANG);
    if (Done == Child) break;
    if (std::chrono::steady_clock::now() > Deadline) {
      ::kill(Child, SIGKILL);
      ::waitpid(Child, &Status, 0);
      Result.TimedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (!Result.TimedOut && WIFEXITED(Status)) Result.ExitCode = WEXITSTATUS(Status);
  Result.Out = UTestSupport::ReadBytes(OutPath);
  Result.Err = UTestSupport::ReadBytes(ErrPath);
  return Result;
}

}  // namespace UFaultSupport
