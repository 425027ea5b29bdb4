#include "UTextFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace UTextFile {

namespace {

std::string PathText(const std::filesystem::path& Path) {
  const std::u8string Text = Path.u8string();
  return std::string(Text.begin(), Text.end());
}

std::FILE* OpenFile(const std::filesystem::path& Path, bool Truncate) {
#ifdef _WIN32
  return _wfopen(Path.c_str(), Truncate ? L"wb" : L"r+b");
#else
  struct stat Status;
  if (!Truncate && ::stat(Path.c_str(), &Status) == 0 && S_ISFIFO(Status.st_mode)) {
    // A pipe is opened for writing only, and without waiting: with nobody reading it the
    // open fails (ENXIO) instead of the run blocking on its first full buffer.
    const int Descriptor = ::open(Path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (Descriptor < 0) return nullptr;
    ::fcntl(Descriptor, F_SETFL, ::fcntl(Descriptor, F_GETFL) & ~O_NONBLOCK);
    std::FILE* Stream = ::fdopen(Descriptor, "wb");
    if (Stream == nullptr) ::close(Descriptor);
    return Stream;
  }
  return std::fopen(Path.c_str(), Truncate ? "wb" : "r+b");
#endif
}

int LastError() { return errno != 0 ? errno : EIO; }

}  // namespace

bool EraseFile(const std::filesystem::path& Path) noexcept {
  std::error_code Error;
  const std::filesystem::file_status Status = std::filesystem::symlink_status(Path, Error);
  if (Error) return false;
  if (std::filesystem::is_symlink(Status)) {
    // A link goes only when it leads to a file or nowhere: a link such as /dev/stdout, or
    // one to a folder, a device or a pipe, is not an old output to replace.
    const std::filesystem::file_status Target = std::filesystem::status(Path, Error);
    if (!Error && !std::filesystem::is_regular_file(Target)) return false;
  } else if (!std::filesystem::is_regular_file(Status)) {
    return false;
  }
#ifdef _WIN32
  return std::filesystem::remove(Path, Error) && !Error;
#else
  // unlink never removes a directory, whatever took the name since the look above.
  return ::unlink(Path.c_str()) == 0;
#endif
}

bool FileExists(const std::filesystem::path& Path) noexcept {
  std::error_code Error;
  const std::filesystem::file_status Status = std::filesystem::status(Path, Error);
  return !Error && std::filesystem::exists(Status) && !std::filesystem::is_directory(Status);
}

TTextFile::TTextFile(std::size_t BufferSize) : Buffer(std::max<std::size_t>(BufferSize, 1)) {}

TTextFile::~TTextFile() {
  if (File == nullptr) return;
  try {
    Close();
  } catch (...) {
  }
}

void TTextFile::Rewrite(const std::filesystem::path& Path) { Open(Path, true); }

void TTextFile::Append(const std::filesystem::path& Path) { Open(Path, false); }

void TTextFile::Open(const std::filesystem::path& Path, bool Truncate) {
  if (File != nullptr) Close();
  FilePath = Path;
  Used = 0;
  errno = 0;
  std::FILE* Opened = OpenFile(Path, Truncate);
  const char* Operation = Truncate ? "criar" : "abrir";
  if (Opened == nullptr) Fail(LastError(), Operation);
  // Our own buffer does the buffering; the stream hands every write straight to the system.
  std::setvbuf(Opened, nullptr, _IONBF, 0);
  if (!Truncate) {
    errno = 0;
    // A stream without a position (a pipe, a terminal) is written where it stands.
    if (std::fseek(Opened, 0, SEEK_END) != 0 && errno != ESPIPE) {
      const int Error = LastError();
      std::fclose(Opened);
      Fail(Error, Operation);
    }
  }
  File = Opened;
}

void TTextFile::Write(std::string_view Text) {
  if (File == nullptr) Fail(FileNotOpen, "gravar");
  while (!Text.empty()) {
    if (Used == 0 && Text.size() >= Buffer.size()) {
      // Nothing waiting and at least a buffer's worth: straight through.
      if (const int Error = SysWrite(File, Text.data(), Text.size())) Fail(Error, "gravar");
      return;
    }
    const std::size_t Chunk = std::min(Buffer.size() - Used, Text.size());
    std::memcpy(Buffer.data() + Used, Text.data(), Chunk);
    Used += Chunk;
    Text.remove_prefix(Chunk);
    if (Used == Buffer.size()) FlushBuffer();
  }
}

void TTextFile::WriteBlanks(std::size_t Count) {
  if (File == nullptr) Fail(FileNotOpen, "gravar");
  while (Count > 0) {
    const std::size_t Chunk = std::min(Buffer.size() - Used, Count);
    std::memset(Buffer.data() + Used, ' ', Chunk);
    Used += Chunk;
    Count -= Chunk;
    if (Used == Buffer.size()) FlushBuffer();
  }
}

void TTextFile::WriteLn() { Write("\r\n"); }

void TTextFile::FlushBuffer() {
  if (Used == 0) return;
  // What could not be written is dropped: the file keeps what reached it before.
  const std::size_t Size = Used;
  Used = 0;
  if (const int Error = SysWrite(File, Buffer.data(), Size)) Fail(Error, "gravar");
}

void TTextFile::Close() {
  if (File == nullptr) Fail(FileNotOpen, "fechar");
  int WriteError = 0;
  if (Used > 0) {
    WriteError = SysWrite(File, Buffer.data(), Used);
    Used = 0;
  }
  std::FILE* Closing = File;
  File = nullptr;
  const int CloseError = SysClose(Closing);
  if (WriteError != 0) Fail(WriteError, "gravar");
  if (CloseError != 0) Fail(CloseError, "fechar");
}

int TTextFile::SysWrite(std::FILE* File, const char* Data, std::size_t Size) {
  errno = 0;
  if (std::fwrite(Data, 1, Size, File) == Size) return 0;
  const int Error = LastError();
  std::clearerr(File);
  return Error;
}

int TTextFile::SysClose(std::FILE* File) {
  errno = 0;
  return std::fclose(File) == 0 ? 0 : LastError();
}

void TTextFile::Fail(int ErrorCode, const char* Operation) {
  std::string Message = "n\u00e3o foi poss\u00edvel ";
  Message += Operation;
  if (ErrorCode == FileNotOpen) {
    Message += ": arquivo n\u00e3o aberto";
  } else {
    Message += " \"" + PathText(FilePath) + "\": " + std::generic_category().message(ErrorCode);
  }
  throw EInOutError(ErrorCode, Message);
}

}  // namespace UTextFile
