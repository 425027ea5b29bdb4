// The client dataset: loads one XML data packet whole and presents its visible records,
// in the engine's order, with named fields readable as Windows-1252 text.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace UClientDataSet {

// A packet that cannot be loaded: missing, unreadable, not a data packet, not well formed.
// what() is a full sentence naming the file, the place (byte offset when known) and the cause.
class EDataSetError : public std::runtime_error {
 public:
  EDataSetError(const std::string& Message, std::string FileName, std::int64_t Offset,
                std::string Reason)
      : std::runtime_error(Message),
        FileName(std::move(FileName)),
        Offset(Offset),
        Reason(std::move(Reason)) {}
  std::string FileName;
  std::int64_t Offset;  // -1 when the failure has no place in the file
  std::string Reason;
};

// A failure while reading records: an unknown field name, a value that cannot be given as text.
class EDatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TClientDataSet;

class TField {
 public:
  // The field's name as the packet declares it (fieldname, else attrname).
  const std::string& FieldName() const noexcept { return Name; }
  const std::string& FieldType() const noexcept { return Type; }
  // The value of the current record as Windows-1252 bytes; a missing value is empty text.
  // The view stays valid until the next AsString on this field or the next move.
  std::string_view AsString();

 private:
  friend class TClientDataSet;
  TField() = default;
  TClientDataSet* Owner = nullptr;
  int Index = 0;
  std::string Name;
  std::string Type;
};

class TClientDataSet {
 public:
  TClientDataSet();
  ~TClientDataSet();
  TClientDataSet(const TClientDataSet&) = delete;
  TClientDataSet& operator=(const TClientDataSet&) = delete;

  // Drops any earlier contents, reads the whole file as a data packet and opens the dataset.
  void LoadFromFile(const std::filesystem::path& FileName);
  // The same for packet bytes already in memory; SourceName names them in errors.
  void LoadFromBytes(std::string Bytes, std::string_view SourceName = "<memória>");
  // No effect when open; throws EDatabaseError when nothing has been loaded.
  void Open();
  void Close() noexcept;
  bool Active() const noexcept;

  std::int32_t RecordCount() const noexcept;
  void First() noexcept;
  void Next() noexcept;
  bool Eof() const noexcept;
  // 0-based number of the current record (RecordCount() at the end).
  std::int32_t RecNo() const noexcept;

  int FieldCount() const noexcept;
  TField& Fields(int Index);
  // Case-blind look-up, the first field of that name counting. nullptr when there is none.
  TField* FindField(std::string_view Name) noexcept;
  // Same, but throws EDatabaseError naming the field when there is none.
  TField& FieldByName(std::string_view Name);

 private:
  friend class TField;
  struct TImpl;
  std::unique_ptr<TImpl> Impl;
};

}  // namespace UClientDataSet
