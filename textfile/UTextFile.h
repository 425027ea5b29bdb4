// The checked text-file writer: every operation either succeeds or throws EInOutError with
// the system's reason; nothing fails silently, a failure of the final write-out included.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace UTextFile {

class EInOutError : public std::runtime_error {
 public:
  // ErrorCode is the system's error number (errno), or FileNotOpen.
  EInOutError(int ErrorCode, const std::string& Message)
      : std::runtime_error(Message), ErrorCode(ErrorCode) {}
  int ErrorCode;
};

inline constexpr int FileNotOpen = 103;

// Removes the file at Path if it is a regular file, or a link to one (or to nothing); never
// a directory, a device, a pipe or a link to any of them. Reports whether it removed it.
bool EraseFile(const std::filesystem::path& Path) noexcept;
// True only for an existing file that is not a directory.
bool FileExists(const std::filesystem::path& Path) noexcept;

class TTextFile {
 public:
  explicit TTextFile(std::size_t BufferSize = 64 * 1024);
  virtual ~TTextFile();  // closes an open file; a failure there is dropped
  TTextFile(const TTextFile&) = delete;
  TTextFile& operator=(const TTextFile&) = delete;

  // Creates the file empty (replacing one of that name) and opens it for writing.
  void Rewrite(const std::filesystem::path& Path);
  // Opens an existing file for writing at its end; an open file is closed first.
  void Append(const std::filesystem::path& Path);
  void Write(std::string_view Text);
  void WriteBlanks(std::size_t Count);
  void WriteLn();  // CR LF
  // Writes out the buffer and closes. Closing a file that is not open throws FileNotOpen.
  void Close();
  bool IsOpen() const noexcept { return File != nullptr; }
  const std::filesystem::path& Path() const noexcept { return FilePath; }

 protected:
  // The system calls, a seam for tests that simulate a full disk or a failing close.
  // Each returns 0 on success or the error number.
  virtual int SysWrite(std::FILE* File, const char* Data, std::size_t Size);
  virtual int SysClose(std::FILE* File);

 private:
  void Open(const std::filesystem::path& Path, bool Truncate);
  void FlushBuffer();
  [[noreturn]] void Fail(int ErrorCode, const char* Operation);

  std::FILE* File = nullptr;
  std::filesystem::path FilePath;
  std::vector<char> Buffer;
  std::size_t Used = 0;
};

}  // namespace UTextFile
