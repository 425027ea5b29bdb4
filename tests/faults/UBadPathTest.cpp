// Paths that cannot serve, given to tradulo-cli: the exit status, what it says, and that
// nothing it was not asked to replace is touched.
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "UFaultSupport.h"

using namespace UFaultSupport;
using UTestSupport::ReadBytes;
using UTestSupport::TScratchDir;
using UTestSupport::WriteBytes;

namespace {

const std::string LoadFailure = UConversionRun::LoadFailureMessage;
const std::string SameFile = UConversionRun::SameFileMessage;

// Makes a file or folder read-only in a way that holds against root (the immutable flag)
// and puts it back on destruction. Ok() is false when the file system refuses the flag.
class TReadOnly {
 public:
  explicit TReadOnly(std::filesystem::path Path) : Path(std::move(Path)) {
    if (::geteuid() != 0) {
      Done =
          ::chmod(this->Path.c_str(), std::filesystem::is_directory(this->Path) ? 0555 : 0444) == 0;
      Error = errno;
      return;
    }
    Done = SetImmutable(true);
  }
  ~TReadOnly() {
    if (!Done) return;
    if (::geteuid() != 0)
      ::chmod(Path.c_str(), std::filesystem::is_directory(Path) ? 0755 : 0644);
    else
      SetImmutable(false);
  }
  bool Ok() const { return Done; }
  std::string Why() const { return Path.string() + ": " + std::strerror(Error); }

 private:
  bool SetImmutable(bool On) {
    const int Fd = ::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (Fd < 0) {
      Error = errno;
      return false;
    }
    int Flags = 0;
    bool Set = ::ioctl(Fd, FS_IOC_GETFLAGS, &Flags) == 0;
    if (Set) {
      Flags = On ? (Flags | FS_IMMUTABLE_FL) : (Flags & ~FS_IMMUTABLE_FL);
      Set = ::ioctl(Fd, FS_IOC_SETFLAGS, &Flags) == 0;
    }
    Error = errno;
    ::close(Fd);
    return Set;
  }

  std::filesystem::path Path;
  bool Done = false;
  int Error = 0;
};

}  // namespace

TEST(BadPaths, OutputsThatCannotBeCreatedLeaveEverythingAsItWas) {
  TScratchDir Dir;
  const std::string Input = Dir / "entrada.xml";
  WriteBytes(Input, Packet(2));
  std::filesystem::create_directory(Dir / "pasta");
  WriteBytes(Dir / "pasta" / "dentro.txt", "keep");
  struct TCase {
    const char* Name;
    std::string Output, ErrorHas;
  } const Cases[] = {
      {"an empty path", "", "No such file or directory"},
      {"a directory", Dir / "pasta", "Is a directory"},
      {"a name too long", Dir / std::string(300, 'n'), "File name too long"},
      {"a path under a file", Dir / "entrada.xml" / "saida.txt", "Not a directory"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const TCliResult Result = RunCli(Dir, {Input, Case.Output});
    EXPECT_EQ(Result.ExitCode, 1);
    EXPECT_NE(FirstLine(Result.Err).find("n\xc3\xa3o foi poss\xc3\xadvel criar"), std::string::npos)
        << Result.Err;
    EXPECT_NE(FirstLine(Result.Err).find(Case.ErrorHas), std::string::npos) << Result.Err;
  }
  EXPECT_EQ(ReadBytes(Input), Packet(2));
  EXPECT_EQ(ReadBytes(Dir / "pasta" / "dentro.txt"), "keep");
}

TEST(BadPaths, OutputThatIsALinkReplacesTheLinkNotItsTarget) {
  TScratchDir Dir;
  WriteBytes(Dir / "entrada.xml", Packet(2));
  WriteBytes(Dir / "alvo.txt", "someone else's file");
  std::filesystem::create_symlink(Dir / "alvo.txt", Dir / "link.txt");
  std::filesystem::create_symlink(Dir / "nada.txt", Dir / "solto.txt");
  for (const char* Link : {"link.txt", "solto.txt"}) {
    SCOPED_TRACE(Link);
    const TCliResult Result = RunCli(Dir, {Dir / "entrada.xml", Dir / Link});
    EXPECT_EQ(Result.ExitCode, 0) << Result.Err;
    EXPECT_FALSE(std::filesystem::is_symlink(Dir / Link));
    EXPECT_EQ(ReadBytes(Dir / Link), Lines(2));
  }
  EXPECT_EQ(ReadBytes(Dir / "alvo.txt"), "someone else's file");
  EXPECT_FALSE(std::filesystem::exists(Dir / "nada.txt"));
}

TEST(BadPaths, ReadOnlyOutputs) {
  TScratchDir Dir;
  WriteBytes(Dir / "entrada.xml", Packet(2));
  std::filesystem::create_directory(Dir / "fixa");
  WriteBytes(Dir / "fixa" / "fixo.txt", "read-only file");
  WriteBytes(Dir / "fixa" / "velho.txt", "old file ");
  const TReadOnly File(Dir / "fixa" / "fixo.txt");
  if (!File.Ok()) GTEST_SKIP() << "cannot make a file read-only here: " << File.Why();
  const TReadOnly Folder(Dir / "fixa");
  if (!Folder.Ok()) GTEST_SKIP() << "cannot make a folder read-only here: " << Folder.Why();

  struct TCase {
    const char* Name;
    const char* Output;
    int ExitCode;
    const char* Holds;  // what the file holds afterwards; nullptr: it does not exist
  } const Cases[] = {
      {"a read-only file", "fixo.txt", 1, "read-only file"},
      {"a new file in a read-only folder", "novo.txt", 1, nullptr},
      // It cannot be deleted but it can be written: it is emptied, then holds the new lines.
      {"a writable file in a read-only folder", "velho.txt", 0, ""},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const std::filesystem::path Output = Dir / "fixa" / Case.Output;
    const TCliResult Result = RunCli(Dir, {Dir / "entrada.xml", Output});
    EXPECT_EQ(Result.ExitCode, Case.ExitCode) << Result.Err;
    if (Case.ExitCode != 0) {
      EXPECT_NE(Result.Err.find(Case.Output), std::string::npos) << Result.Err;
      EXPECT_NE(Result.Err.find(::geteuid() == 0 ? "Operation not permitted" : "Permission denied"),
                std::string::npos)
          << Result.Err;
    }
    if (Case.Holds == nullptr) {
      EXPECT_FALSE(std::filesystem::exists(Output));
    } else {
      EXPECT_EQ(ReadBytes(Output), Case.Holds + (Case.ExitCode == 0 ? Lines(2) : ""));
    }
  }
}

TEST(BadPaths, InputsThatAreNoPacketFailToLoadWithoutHanging) {
  TScratchDir Dir;
  std::filesystem::create_directory(Dir / "pasta.xml");
  ASSERT_EQ(::mkfifo((Dir / "fila.xml").c_str(), 0644), 0) << std::strerror(errno);
  std::filesystem::create_symlink(Dir / "laco.xml", Dir / "laco.xml");
  for (const char* Input : {"pasta.xml", "fila.xml", "laco.xml"}) {
    SCOPED_TRACE(Input);
    WriteBytes(Dir / "saida.txt", "an earlier file");
    TCliOptions Options;
    Options.Timeout = std::chrono::seconds(10);
    const TCliResult Result = RunCli(Dir, {Dir / Input, Dir / "saida.txt"}, Options);
    ASSERT_FALSE(Result.TimedOut) << "tradulo-cli hung on the input";
    EXPECT_EQ(Result.ExitCode, 1);
    EXPECT_EQ(FirstLine(Result.Err), LoadFailure);
    EXPECT_NE(Result.Err.find("\nCausa: "), std::string::npos) << Result.Err;
    EXPECT_NE(Result.Err.find(Input), std::string::npos) << Result.Err;
    EXPECT_TRUE(std::filesystem::exists(Dir / "saida.txt"));
    EXPECT_EQ(ReadBytes(Dir / "saida.txt"), "");
  }
}

TEST(BadPaths, InputNamedAgainAsOutputInOtherSpellings) {
  TScratchDir Dir;
  WriteBytes(Dir / "entrada.xml", Packet(1));
  std::filesystem::create_directory(Dir / "sub");
  TCliOptions InDir;
  InDir.WorkDir = Dir.Path;
  const std::pair<const char*, const char*> Cases[] = {
      {"entrada.xml", "./entrada.xml"},
      {"entrada.xml", "sub/../entrada.xml"},
      {"./sub/../entrada.xml", "entrada.xml"},
      {"entrada.xml", "sub//..//./entrada.xml"},
  };
  for (const auto& [Input, Output] : Cases) {
    SCOPED_TRACE(std::string(Input) + " -> " + Output);
    const TCliResult Result = RunCli(Dir, {Input, Output}, InDir);
    EXPECT_EQ(Result.ExitCode, 1);
    EXPECT_EQ(FirstLine(Result.Err), SameFile);
    EXPECT_EQ(ReadBytes(Dir / "entrada.xml"), Packet(1));
  }
}

// Known fault, left to the writer's owner: a FIFO output is opened for reading and writing,
// so the run is its own reader; with nobody else reading, it blocks for good once the pipe
// is full (and a small output vanishes with exit status 0). Enable once that is fixed.
TEST(BadPaths, OutputFifoWithoutAReaderFailsWithoutHanging) {
  TScratchDir Dir;
  WriteBytes(Dir / "entrada.xml", Packet(1000));
  ASSERT_EQ(::mkfifo((Dir / "fila.txt").c_str(), 0644), 0) << std::strerror(errno);
  TCliOptions Options;
  Options.Timeout = std::chrono::seconds(10);
  const TCliResult Result = RunCli(Dir, {Dir / "entrada.xml", Dir / "fila.txt"}, Options);
  ASSERT_FALSE(Result.TimedOut) << "tradulo-cli hung on the output";
  EXPECT_EQ(Result.ExitCode, 1);
  EXPECT_NE(Result.Err.find("fila.txt"), std::string::npos) << Result.Err;
}
