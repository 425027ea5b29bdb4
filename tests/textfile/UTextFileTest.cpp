#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <system_error>

#include "UTestSupport.h"
#include "UTextFile.h"

using namespace UTextFile;
using UTestSupport::ReadBytes;
using UTestSupport::TScratchDir;
using UTestSupport::WriteBytes;

namespace {

namespace fs = std::filesystem;

// Records every byte handed to the system; can stop accepting bytes after Quota (a full
// disk) and report an error from the close.
class TProbeFile : public TTextFile {
 public:
  using TTextFile::TTextFile;
  std::string Written;
  int Writes = 0;
  std::size_t Quota = std::numeric_limits<std::size_t>::max();
  int CloseError = 0;

 protected:
  int SysWrite(std::FILE* File, const char* Data, std::size_t Size) override {
    ++Writes;
    const std::size_t Room = Quota - std::min(Quota, Written.size());
    const std::size_t Accepted = std::min(Size, Room);
    Written.append(Data, Accepted);
    if (Accepted > 0) {
      if (const int Error = TTextFile::SysWrite(File, Data, Accepted)) return Error;
    }
    return Accepted < Size ? ENOSPC : 0;
  }
  int SysClose(std::FILE* File) override {
    const int Error = TTextFile::SysClose(File);
    return CloseError != 0 ? CloseError : Error;
  }
};

std::string Quoted(const fs::path& Path) { return "\"" + Path.string() + "\""; }

std::string Reason(int Error) { return std::generic_category().message(Error); }

int ErrorOf(const std::function<void()>& Operation, std::string* Message = nullptr) {
  try {
    Operation();
  } catch (const EInOutError& Error) {
    if (Message != nullptr) *Message = Error.what();
    return Error.ErrorCode;
  }
  return 0;
}

class TTextFileTest : public ::testing::Test {
 protected:
  TScratchDir Scratch;
};

class TBufferSizeTest : public TTextFileTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(TBufferSizeTest, WritesExactBytesThroughTheSystemSeam) {
  const fs::path Path = Scratch / "out.txt";
  TProbeFile File(GetParam());
  File.Rewrite(Path);
  File.Write("abc");
  File.WriteBlanks(6);
  File.WriteLn();
  File.Write("0123456789");
  File.Write("");
  File.WriteBlanks(0);
  File.WriteLn();
  File.WriteBlanks(9);
  File.Write("S\xF3 \xE9");  // Windows-1252 bytes pass unchanged
  File.WriteLn();
  if (GetParam() > 64) {
    EXPECT_EQ(ReadBytes(Path), "") << "nothing written before the close";
  }
  File.Close();

  const std::string Expected = "abc      \r\n0123456789\r\n         S\xF3 \xE9\r\n";
  EXPECT_EQ(ReadBytes(Path), Expected);
  EXPECT_EQ(File.Written, Expected);
  if (GetParam() > 64) {
    EXPECT_EQ(File.Writes, 1);
  }
  EXPECT_FALSE(File.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(Sizes, TBufferSizeTest,
                         ::testing::Values(std::size_t{0}, std::size_t{1}, std::size_t{4},
                                           std::size_t{7}, std::size_t{64 * 1024}));

TEST_F(TTextFileTest, LargeWritesKeepEveryByte) {
  std::string Text(100000, '\0');
  for (std::size_t Index = 0; Index < Text.size(); ++Index)
    Text[Index] = static_cast<char>('a' + Index % 26);
  const fs::path Path = Scratch / "big.txt";
  TProbeFile File;
  File.Rewrite(Path);
  File.Write("x");
  File.Write(Text);
  File.WriteBlanks(150000);
  File.Write(Text);
  File.WriteLn();
  File.Close();

  const std::string Expected = "x" + Text + std::string(150000, ' ') + Text + "\r\n";
  EXPECT_EQ(ReadBytes(Path), Expected);
  EXPECT_EQ(File.Written, Expected);
}

TEST_F(TTextFileTest, RewriteReplacesAndAppendAppends) {
  const fs::path Path = Scratch / "out.txt";
  WriteBytes(Path, "old content\r\n");
  TTextFile File;
  File.Rewrite(Path);
  EXPECT_TRUE(File.IsOpen());
  EXPECT_EQ(File.Path(), Path);
  EXPECT_EQ(ReadBytes(Path), "") << "created empty at once";
  File.Write("new");
  File.Close();
  EXPECT_EQ(ReadBytes(Path), "new");

  File.Append(Path);
  File.Write("er");
  File.WriteLn();
  File.Close();
  EXPECT_EQ(ReadBytes(Path), "newer\r\n");
}

TEST_F(TTextFileTest, OpeningClosesTheOpenFileFirst) {
  const fs::path First = Scratch / "first.txt";
  const fs::path Second = Scratch / "second.txt";
  const fs::path Third = Scratch / "third.txt";
  WriteBytes(Second, "2:");
  TTextFile File;
  File.Rewrite(First);
  File.Write("one");
  File.Append(Second);
  EXPECT_EQ(ReadBytes(First), "one");
  File.Write("two");
  File.Rewrite(Third);
  EXPECT_EQ(ReadBytes(Second), "2:two");
  File.Write("three");
  File.Close();
  EXPECT_EQ(ReadBytes(Third), "three");
}

TEST_F(TTextFileTest, DestructorWritesOutAndCloses) {
  const fs::path Path = Scratch / "out.txt";
  {
    TTextFile File;
    File.Rewrite(Path);
    File.Write("kept");
  }
  EXPECT_EQ(ReadBytes(Path), "kept");
}

TEST_F(TTextFileTest, AppendRequiresAnExistingFile) {
  const fs::path Path = Scratch / "missing.txt";
  TTextFile File;
  std::string Message;
  EXPECT_EQ(ErrorOf([&] { File.Append(Path); }, &Message), ENOENT);
  EXPECT_EQ(Message, "n\u00e3o foi poss\u00edvel abrir " + Quoted(Path) + ": " + Reason(ENOENT));
  EXPECT_FALSE(File.IsOpen());
  EXPECT_FALSE(fs::exists(Path));
}

struct TOpenFailureCase {
  const char* Name;
  const char* RelativePath;  // nullptr: the empty path
  int Error;
};
void PrintTo(const TOpenFailureCase& Case, std::ostream* Out) { *Out << Case.Name; }

class TOpenFailureTest : public TTextFileTest,
                         public ::testing::WithParamInterface<TOpenFailureCase> {};

TEST_P(TOpenFailureTest, FailsWithTheSystemsReason) {
  const TOpenFailureCase& Case = GetParam();
  fs::create_directory(Scratch / "folder");
  const fs::path Path = Case.RelativePath != nullptr ? Scratch / Case.RelativePath : fs::path();
  for (const bool Truncate : {true, false}) {
    TTextFile File;
    std::string Message;
    const int Error = ErrorOf(
        [&] {
          if (Truncate)
            File.Rewrite(Path);
          else
            File.Append(Path);
        },
        &Message);
    EXPECT_EQ(Error, Case.Error) << (Truncate ? "Rewrite" : "Append");
    EXPECT_EQ(Message, std::string("n\u00e3o foi poss\u00edvel ") +
                           (Truncate ? "criar " : "abrir ") + Quoted(Path) + ": " +
                           Reason(Case.Error));
    EXPECT_FALSE(File.IsOpen());
  }
  EXPECT_TRUE(fs::is_directory(Scratch / "folder"));
}

INSTANTIATE_TEST_SUITE_P(Cases, TOpenFailureTest,
                         ::testing::Values(TOpenFailureCase{"MissingFolder", "nowhere/out.txt",
                                                            ENOENT},
                                           TOpenFailureCase{"Directory", "folder", EISDIR},
                                           TOpenFailureCase{"EmptyPath", nullptr, ENOENT}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

struct TDiskFullCase {
  std::size_t BufferSize;
  std::size_t Quota;
  bool FailsInWrite;  // else only the close reports it
};
void PrintTo(const TDiskFullCase& Case, std::ostream* Out) {
  *Out << "buffer " << Case.BufferSize << ", quota " << Case.Quota;
}

class TDiskFullTest : public TTextFileTest, public ::testing::WithParamInterface<TDiskFullCase> {};

TEST_P(TDiskFullTest, ReportsTheFailureAtTheLatestOnClose) {
  const TDiskFullCase& Case = GetParam();
  const fs::path Path = Scratch / "out.txt";
  TProbeFile File(Case.BufferSize);
  File.Quota = Case.Quota;
  File.Rewrite(Path);

  std::string Message;
  const int WriteError = ErrorOf(
      [&] {
        for (int Line = 0; Line < 3; ++Line) {
          File.Write("0123456789");
          File.WriteLn();
        }
      },
      &Message);
  const int CloseError = ErrorOf([&] { File.Close(); }, WriteError == 0 ? &Message : nullptr);

  EXPECT_EQ(WriteError != 0, Case.FailsInWrite);
  EXPECT_EQ(WriteError != 0 ? WriteError : CloseError, ENOSPC);
  EXPECT_EQ(Message, "n\u00e3o foi poss\u00edvel gravar " + Quoted(Path) + ": " + Reason(ENOSPC));
  EXPECT_FALSE(File.IsOpen());
  EXPECT_EQ(ReadBytes(Path), std::string("0123456789\r\n0123456789\r\n").substr(0, Case.Quota));
}

INSTANTIATE_TEST_SUITE_P(Cases, TDiskFullTest,
                         ::testing::Values(TDiskFullCase{64 * 1024, 10, false},
                                           TDiskFullCase{64 * 1024, 0, false},
                                           TDiskFullCase{8, 10, true}, TDiskFullCase{5, 20, true}));

TEST_F(TTextFileTest, FailingCloseIsReportedAndLeavesTheFileClosed) {
  const fs::path Path = Scratch / "out.txt";
  TProbeFile File;
  File.CloseError = EIO;
  File.Rewrite(Path);
  File.Write("abc");
  std::string Message;
  EXPECT_EQ(ErrorOf([&] { File.Close(); }, &Message), EIO);
  EXPECT_EQ(Message, "n\u00e3o foi poss\u00edvel fechar " + Quoted(Path) + ": " + Reason(EIO));
  EXPECT_FALSE(File.IsOpen());
  EXPECT_EQ(ReadBytes(Path), "abc");
  EXPECT_EQ(ErrorOf([&] { File.Close(); }), FileNotOpen);

  // Both failing: the lost bytes are what is reported.
  File.Quota = 0;
  File.Written.clear();
  File.Rewrite(Path);
  File.Write("abc");
  EXPECT_EQ(ErrorOf([&] { File.Close(); }), ENOSPC);
  EXPECT_FALSE(File.IsOpen());
}

TEST_F(TTextFileTest, OperationsOnAFileNotOpenFail) {
  TTextFile File;
  const std::function<void()> Operations[] = {
      [&] { File.Write("x"); }, [&] { File.Write(""); }, [&] { File.WriteBlanks(0); },
      [&] { File.WriteLn(); },  [&] { File.Close(); },
  };
  for (int Round = 0; Round < 2; ++Round) {
    for (const auto& Operation : Operations) EXPECT_EQ(ErrorOf(Operation), FileNotOpen);
    File.Rewrite(Scratch / "out.txt");
    File.Close();
  }
  std::string Message;
  ErrorOf([&] { File.Close(); }, &Message);
  EXPECT_EQ(Message, "n\u00e3o foi poss\u00edvel fechar: arquivo n\u00e3o aberto");
}

// A folder with one of each kind of entry the helpers must tell apart.
class TFileKindsTest : public TTextFileTest {
 protected:
  void SetUp() override {
    WriteBytes(Scratch / "file", "content");
    fs::create_directory(Scratch / "dir");
    WriteBytes(Scratch / "dir" / "inside", "x");
    fs::create_symlink(Scratch / "file", Scratch / "link-to-file");
    fs::create_directory_symlink(Scratch / "dir", Scratch / "link-to-dir");
    fs::create_symlink(Scratch / "gone", Scratch / "dangling");
    ASSERT_EQ(::mkfifo((Scratch / "fifo").c_str(), 0600), 0);
    fs::create_symlink(Scratch / "fifo", Scratch / "link-to-fifo");
  }
  bool Present(const char* Name) { return fs::exists(fs::symlink_status(Scratch / Name)); }
};

TEST_F(TFileKindsTest, EraseFileRemovesFilesAndLinksToFilesOnly) {
  const struct {
    const char* Name;
    bool Removed;
  } Cases[] = {{"missing", false},      {"dir", false},         {"fifo", false},
               {"link-to-fifo", false}, {"link-to-dir", false}, {"link-to-file", true},
               {"dangling", true},      {"file", true}};
  for (const auto& Case : Cases) {
    EXPECT_EQ(EraseFile(Scratch / Case.Name), Case.Removed) << Case.Name;
    EXPECT_FALSE(Case.Removed && Present(Case.Name)) << Case.Name;
  }
  EXPECT_FALSE(EraseFile(fs::path()));
  EXPECT_TRUE(fs::is_directory(Scratch / "dir"));
  EXPECT_EQ(ReadBytes(Scratch / "dir" / "inside"), "x");
  EXPECT_FALSE(Present("file"));
}

TEST_F(TFileKindsTest, LinkRemovalKeepsItsTarget) {
  EXPECT_TRUE(EraseFile(Scratch / "link-to-file"));
  EXPECT_EQ(ReadBytes(Scratch / "file"), "content");
}

TEST_F(TFileKindsTest, FileExistsOnlyForNonDirectories) {
  const struct {
    const char* Name;
    bool Exists;
  } Cases[] = {{"file", true},         {"link-to-file", true}, {"dir", false},
               {"link-to-dir", false}, {"dangling", false},    {"missing", false}};
  for (const auto& Case : Cases)
    EXPECT_EQ(FileExists(Scratch / Case.Name), Case.Exists) << Case.Name;
  EXPECT_FALSE(FileExists(fs::path()));
}

}  // namespace
