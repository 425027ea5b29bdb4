// The fixed-width record layout of the output file and the fitting of one value to its column.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace URecordLayout {

struct TColumn {
  std::string_view FieldName;
  std::int32_t Width;
};

// Twelve left-aligned, blank-padded columns; a record whose values all fit is 171 bytes.
inline constexpr std::array<TColumn, 12> RecordLayout{{
    {"CO_UNIDADE", 31},
    {"NO_FANTASIA", 60},
    {"CO_MUNICIPIO_GESTOR", 6},
    {"CO_PALTIR", 7},
    {"CO_PALTIR1", 7},
    {"CO_PALTIR2", 7},
    {"CO_PALTIR3", 7},
    {"CO_PALTIR4", 7},
    {"CO_PALTIR5", 7},
    {"NU_CNPJ", 14},
    {"NU_CPF", 11},
    {"CO_DUMARE", 7},
}};

inline constexpr std::int32_t RecordWidth = 171;

// The value without the characters of codes 0 to 32 at either end; bytes 128 to 255 stay.
constexpr std::string_view TrimControls(std::string_view Value) noexcept {
  std::size_t Begin = 0;
  std::size_t End = Value.size();
  while (Begin < End && static_cast<unsigned char>(Value[Begin]) <= 32) ++Begin;
  while (End > Begin && static_cast<unsigned char>(Value[End - 1]) <= 32) --End;
  return Value.substr(Begin, End - Begin);
}

// How many blanks follow the trimmed value in a column of that width (never negative).
constexpr std::size_t PaddingFor(std::string_view Trimmed, std::int32_t Width) noexcept {
  return Width > 0 && Trimmed.size() < static_cast<std::size_t>(Width)
             ? static_cast<std::size_t>(Width) - Trimmed.size()
             : 0;
}

// The value trimmed and padded on the right with blanks up to Width; a longer value is
// returned whole, never cut.
std::string PadField(std::string_view Value, std::int32_t Width);

}  // namespace URecordLayout
