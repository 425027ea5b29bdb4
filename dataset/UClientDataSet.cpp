// The client dataset over one XML data packet (see shared/datapackets/FORMAT.md).
//
// Design, for speed and memory on packets of a million records:
// - the file is read with one read into one buffer that is never changed; every value is read
//   from there when it is asked for, so an 8-bit file is never re-encoded;
// - pugixml parses copies: the packet without its rows, for the metadata, and then the rows
//   part by part (about a megabyte each), every part's document dropped once the places of
//   its values are noted. The document of the whole packet, two and a half times the size of
//   the file, never exists; a packet laid out otherwise than the engine writes it is parsed
//   whole, from one copy, and that document is dropped in the same way;
// - the load matches each visible row's attributes to the fields once (expecting them in
//   FIELDS order, one comparison of two words each in the usual case) and keeps, per record,
//   where it starts and where each of its values starts: 96 bytes for 22 fields;
// - a value is decoded only when it is read (AsString), and only when it holds `&`, a literal
//   TAB, CR or LF, or, in a UTF-8 file, a byte above 127; otherwise it is returned as a view
//   into the buffer. Decoded and typed values go into a scratch string per field that is
//   reused.
#include "UClientDataSet.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <pugixml.hpp>
#include <system_error>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <cstdio>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace UClientDataSet {

namespace {

// ---------------------------------------------------------------------------------------
// Characters

constexpr char AsciiLower(char C) noexcept {
  return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C;
}

bool SameTextAscii(std::string_view A, std::string_view B) noexcept {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I)
    if (AsciiLower(A[I]) != AsciiLower(B[I])) return false;
  return true;
}

constexpr bool IsBlank(unsigned char C) noexcept {
  return C == ' ' || C == '\t' || C == '\r' || C == '\n';
}

constexpr bool IsDigit(char C) noexcept { return C >= '0' && C <= '9'; }

// Unicode of the Windows-1252 bytes 0x80..0x9F; 0 for the five the code page leaves undefined.
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The Windows-1252 byte of a Unicode character; '?' when the code page lacks it. The five
// undefined bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for U+0081 … U+009D, as on Windows.
char UnicodeToCp1252(char32_t Code) noexcept {
  if (Code < 0x80 || (Code >= 0xA0 && Code <= 0xFF)) return static_cast<char>(Code);
  if (Code < 0xA0) return Cp1252High[Code - 0x80] == 0 ? static_cast<char>(Code) : '?';
  for (std::size_t I = 0; I < Cp1252High.size(); ++I)
    if (Cp1252High[I] != 0 && Cp1252High[I] == Code) return static_cast<char>(0x80 + I);
  return '?';
}

void AppendUtf8(char32_t Code, std::string& Out) {
  if (Code < 0x80) {
    Out += static_cast<char>(Code);
  } else if (Code < 0x800) {
    Out += static_cast<char>(0xC0 | (Code >> 6));
    Out += static_cast<char>(0x80 | (Code & 0x3F));
  } else {
    Out += static_cast<char>(0xE0 | (Code >> 12));
    Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Code & 0x3F));
  }
}

// Windows-1252 text as UTF-8, for messages (the messages are UTF-8, the values are not).
std::string Cp1252ToUtf8(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (const char C : Text) {
    const auto Byte = static_cast<unsigned char>(C);
    if (Byte < 0x80) {
      Out += C;
    } else if (Byte < 0xA0) {
      AppendUtf8(Cp1252High[Byte - 0x80] != 0 ? Cp1252High[Byte - 0x80] : U'?', Out);
    } else {
      AppendUtf8(Byte, Out);
    }
  }
  return Out;
}

// The length (1 to 4) of the well-formed UTF-8 sequence at P, with its character in Code;
// 0 when the bytes at P are not one (overlong forms, surrogates and codes past U+10FFFF
// included).
std::size_t DecodeUtf8(const unsigned char* P, const unsigned char* End, char32_t& Code) noexcept {
  const unsigned char B0 = P[0];
  if (B0 < 0x80) {
    Code = B0;
    return 1;
  }
  const auto Cont = [](unsigned char B) { return (B & 0xC0) == 0x80; };
  const std::size_t Left = static_cast<std::size_t>(End - P);
  if (B0 >= 0xC2 && B0 <= 0xDF) {
    if (Left < 2 || !Cont(P[1])) return 0;
    Code = (char32_t(B0 & 0x1F) << 6) | (P[1] & 0x3F);
    return 2;
  }
  if (B0 >= 0xE0 && B0 <= 0xEF) {
    if (Left < 3 || !Cont(P[1]) || !Cont(P[2])) return 0;
    if (B0 == 0xE0 && P[1] < 0xA0) return 0;   // overlong
    if (B0 == 0xED && P[1] >= 0xA0) return 0;  // surrogate
    Code = (char32_t(B0 & 0x0F) << 12) | (char32_t(P[1] & 0x3F) << 6) | (P[2] & 0x3F);
    return 3;
  }
  if (B0 >= 0xF0 && B0 <= 0xF4) {
    if (Left < 4 || !Cont(P[1]) || !Cont(P[2]) || !Cont(P[3])) return 0;
    if (B0 == 0xF0 && P[1] < 0x90) return 0;   // overlong
    if (B0 == 0xF4 && P[1] >= 0x90) return 0;  // past U+10FFFF
    Code = (char32_t(B0 & 0x07) << 18) | (char32_t(P[1] & 0x3F) << 12) |
           (char32_t(P[2] & 0x3F) << 6) | (P[3] & 0x3F);
    return 4;
  }
  return 0;
}

enum class TUtf8Scan { Ascii, Utf8, NotUtf8 };

// Whether the bytes are all ASCII, well-formed UTF-8 with multi-byte sequences, or neither.
// ASCII runs are skipped sixteen bytes at a time; the first bad sequence ends the scan.
TUtf8Scan ScanUtf8(const char* Data, std::size_t Size) noexcept {
  const auto* P = reinterpret_cast<const unsigned char*>(Data);
  const auto* End = P + Size;
  bool MultiByte = false;
  while (P < End) {
    while (End - P >= 16) {
      std::uint64_t A, B;
      std::memcpy(&A, P, 8);
      std::memcpy(&B, P + 8, 8);
      if ((A | B) & 0x8080808080808080ull) break;
      P += 16;
    }
    if (P == End) break;
    if (*P < 0x80) {
      ++P;
      continue;
    }
    char32_t Code;
    const std::size_t Length = DecodeUtf8(P, End, Code);
    if (Length == 0) return TUtf8Scan::NotUtf8;
    MultiByte = true;
    P += Length;
  }
  return MultiByte ? TUtf8Scan::Utf8 : TUtf8Scan::Ascii;
}

// Reads the entity or character reference at P (which points at '&'). Returns the position
// after its ';' and its character, or nullptr when it is not a reference we know (then the
// text stays as written, as pugixml does with unknown entities).
const char* ReadReference(const char* P, const char* End, char32_t& Code) noexcept {
  const char* Semicolon = static_cast<const char*>(
      std::memchr(P, ';', static_cast<std::size_t>(std::min<std::ptrdiff_t>(End - P, 12))));
  if (!Semicolon) return nullptr;
  const std::string_view Body(P + 1, static_cast<std::size_t>(Semicolon - P - 1));
  if (Body.size() >= 2 && Body[0] == '#') {
    const bool Hex = Body[1] == 'x';
    const std::string_view Digits = Body.substr(Hex ? 2 : 1);
    if (Digits.empty()) return nullptr;
    std::uint32_t Value = 0;
    const auto [End2, Error] =
        std::from_chars(Digits.data(), Digits.data() + Digits.size(), Value, Hex ? 16 : 10);
    if (Error != std::errc() || End2 != Digits.data() + Digits.size()) return nullptr;
    if (Value == 0 || Value > 0x10FFFF) return nullptr;
    Code = Value;
    return Semicolon + 1;
  }
  if (Body == "amp")
    Code = '&';
  else if (Body == "lt")
    Code = '<';
  else if (Body == "gt")
    Code = '>';
  else if (Body == "quot")
    Code = '"';
  else if (Body == "apos")
    Code = '\'';
  else
    return nullptr;
  return Semicolon + 1;
}

// The bytes of a raw value that its decoding changes: a reference, literal white space other
// than the blank, and in a UTF-8 file anything above ASCII.
constexpr bool NeedsCare(unsigned char C, bool Utf8) noexcept {
  return C == '&' || C == '\t' || C == '\n' || C == '\r' || (Utf8 && C >= 0x80);
}

// Appends the Windows-1252 form of a raw attribute value: references and entities resolved;
// in a UTF-8 file every well-formed sequence converted, any other byte taken as it stands.
// A reference gives a Unicode character in a UTF-8 file; in an 8-bit file a code up to 255
// is that byte and a higher one goes through Windows-1252. A UTF-16 surrogate pair written
// as two references is one character (which Windows-1252 never has).
void AppendDecoded(std::string_view Raw, bool Utf8, std::string& Out) {
  const char* P = Raw.data();
  const char* End = P + Raw.size();
  while (P < End) {
    const auto C = static_cast<unsigned char>(*P);
    if (C == '&') {
      char32_t Code;
      const char* Next = ReadReference(P, End, Code);
      if (!Next) {
        Out += '&';
        ++P;
        continue;
      }
      P = Next;
      if (Code >= 0xD800 && Code <= 0xDFFF) {
        char32_t Low;
        const char* After =
            Code <= 0xDBFF && P < End && *P == '&' ? ReadReference(P, End, Low) : nullptr;
        if (After && Low >= 0xDC00 && Low <= 0xDFFF) P = After;
        Out += '?';
      } else if (!Utf8 && Code <= 0xFF) {
        Out += static_cast<char>(Code);
      } else {
        Out += UnicodeToCp1252(Code);
      }
    } else if (C == '\t' || C == '\n' || C == '\r') {
      // Attribute normalisation: a literal TAB, LF, CR or CR LF reads as one blank.
      Out += ' ';
      ++P;
      if (C == '\r' && P < End && *P == '\n') ++P;
    } else if (C >= 0x80 && Utf8) {
      char32_t Code;
      const std::size_t Length = DecodeUtf8(reinterpret_cast<const unsigned char*>(P),
                                            reinterpret_cast<const unsigned char*>(End), Code);
      if (Length == 0) {
        Out += static_cast<char>(C);
        ++P;
      } else {
        Out += UnicodeToCp1252(Code);
        P += Length;
      }
    } else {
      const char* Run = P;
      while (P < End && !NeedsCare(static_cast<unsigned char>(*P), Utf8)) ++P;
      Out.append(Run, static_cast<std::size_t>(P - Run));
    }
  }
}

bool NeedsDecoding(const char* Value, std::size_t Length, bool Utf8) noexcept {
  for (std::size_t I = 0; I < Length; ++I)
    if (NeedsCare(static_cast<unsigned char>(Value[I]), Utf8)) return true;
  return false;
}

// A value quoted for a message: UTF-8, cut after 40 bytes.
std::string QuoteValue(std::string_view Value) {
  constexpr std::size_t Limit = 40;
  std::string Text = Cp1252ToUtf8(Value.substr(0, Limit));
  if (Value.size() > Limit) Text += "\u2026";
  return "\"" + Text + "\"";
}

// ---------------------------------------------------------------------------------------
// Typed values

enum class TKind : unsigned char {
  Text,      // string, string.uni, text memos, unknown types: the text itself
  Integer,   // i1 … i8, ui1 … ui8: as written, once checked
  Float,     // r4, r8, r10 (Money too): general format, ',' as the decimal separator
  Decimal,   // fixed, fixedFMT: exact decimal, ',' as the decimal separator
  Date,      // YYYYMMDD → dd/mm/yyyy
  Time,      // HH:MM:SSmmm → hh:mm:ss
  DateTime,  // YYYYMMDD[THH:MM:SSmmm] → dd/mm/yyyy[ hh:mm:ss]
  Boolean,   // TRUE/FALSE → True/False
  Blob,      // bin.hex that is not a text memo: the Base64-decoded bytes
  Nested,    // nested dataset: no value of its own
};

TKind KindOf(std::string_view Type, std::string_view SubType, int& Precision) {
  Precision = 15;
  static constexpr std::string_view Integers[] = {"i1",  "i2",  "i4",  "i8",
                                                  "ui1", "ui2", "ui4", "ui8"};
  for (const std::string_view Name : Integers)
    if (SameTextAscii(Type, Name)) return TKind::Integer;
  if (SameTextAscii(Type, "r8") || SameTextAscii(Type, "r10")) return TKind::Float;
  if (SameTextAscii(Type, "r4")) {
    Precision = 7;
    return TKind::Float;
  }
  if (SameTextAscii(Type, "fixed") || SameTextAscii(Type, "fixedFMT")) return TKind::Decimal;
  if (SameTextAscii(Type, "date")) return TKind::Date;
  if (SameTextAscii(Type, "time")) return TKind::Time;
  if (SameTextAscii(Type, "dateTime") || SameTextAscii(Type, "SQLdateTime")) return TKind::DateTime;
  if (SameTextAscii(Type, "boolean")) return TKind::Boolean;
  if (SameTextAscii(Type, "nested")) return TKind::Nested;
  if (SameTextAscii(Type, "bin.hex"))
    return SameTextAscii(SubType, "Text") || SameTextAscii(SubType, "WideText") ? TKind::Text
                                                                                : TKind::Blob;
  return TKind::Text;
}

// FloatToStr(Value) with that many significant digits on a system whose decimal separator
// is ',': fixed notation while the integer digits fit the precision and the value is at
// least 0.0001, else d,dddE[-]x; trailing zeros dropped.
void AppendGeneral(double Value, int Precision, std::string& Out) {
  if (std::isnan(Value)) {
    Out += "NAN";
    return;
  }
  if (std::isinf(Value)) {
    Out += Value < 0 ? "-INF" : "INF";
    return;
  }
  if (Value == 0) {
    Out += '0';
    return;
  }
  char Buffer[64];
  const auto Result = std::to_chars(Buffer, Buffer + sizeof Buffer, Value,
                                    std::chars_format::scientific, Precision - 1);
  const char* P = Buffer;
  const bool Negative = *P == '-';
  if (Negative) ++P;
  char Digits[32];
  int Count = 0;
  for (; P < Result.ptr && *P != 'e'; ++P)
    if (*P != '.') Digits[Count++] = *P;
  int Exponent = 0;
  std::from_chars(P + 1 + (P[1] == '+'), Result.ptr, Exponent);
  while (Count > 1 && Digits[Count - 1] == '0') --Count;
  const int IntegerDigits = Exponent + 1;
  if (Negative) Out += '-';
  if (IntegerDigits > Precision || IntegerDigits < -3) {
    Out += Digits[0];
    if (Count > 1) {
      Out += ',';
      Out.append(Digits + 1, static_cast<std::size_t>(Count - 1));
    }
    Out += 'E';
    Out += std::to_string(Exponent);
  } else if (IntegerDigits <= 0) {
    Out += "0,";
    Out.append(static_cast<std::size_t>(-IntegerDigits), '0');
    Out.append(Digits, static_cast<std::size_t>(Count));
  } else if (Count <= IntegerDigits) {
    Out.append(Digits, static_cast<std::size_t>(Count));
    Out.append(static_cast<std::size_t>(IntegerDigits - Count), '0');
  } else {
    Out.append(Digits, static_cast<std::size_t>(IntegerDigits));
    Out += ',';
    Out.append(Digits + IntegerDigits, static_cast<std::size_t>(Count - IntegerDigits));
  }
}

bool ParseDouble(std::string_view Text, double& Value) noexcept {
  const char* First = Text.data();
  const char* Last = First + Text.size();
  if (First < Last && *First == '+') ++First;
  const auto [End, Error] = std::from_chars(First, Last, Value, std::chars_format::general);
  return Error == std::errc() && End == Last;
}

bool IsInteger(std::string_view Text) noexcept {
  std::size_t I = !Text.empty() && (Text[0] == '-' || Text[0] == '+') ? 1 : 0;
  if (I == Text.size()) return false;
  for (; I < Text.size(); ++I)
    if (!IsDigit(Text[I])) return false;
  return true;
}

// A plain decimal ([+-]digits[.digits]) written with ',' and without superfluous zeros.
bool AppendDecimal(std::string_view Text, std::string& Out) {
  std::size_t I = 0;
  bool Negative = false;
  if (I < Text.size() && (Text[I] == '-' || Text[I] == '+')) Negative = Text[I++] == '-';
  const std::size_t IntBegin = I;
  while (I < Text.size() && IsDigit(Text[I])) ++I;
  std::string_view Integer = Text.substr(IntBegin, I - IntBegin);
  std::string_view Fraction;
  if (I < Text.size() && Text[I] == '.') {
    const std::size_t FracBegin = ++I;
    while (I < Text.size() && IsDigit(Text[I])) ++I;
    Fraction = Text.substr(FracBegin, I - FracBegin);
  }
  if (I != Text.size() || (Integer.empty() && Fraction.empty())) return false;
  while (!Integer.empty() && Integer.front() == '0') Integer.remove_prefix(1);
  while (!Fraction.empty() && Fraction.back() == '0') Fraction.remove_suffix(1);
  if (Integer.empty() && Fraction.empty()) {
    Out += '0';
    return true;
  }
  if (Negative) Out += '-';
  if (Integer.empty()) Out += '0';
  Out += Integer;
  if (!Fraction.empty()) {
    Out += ',';
    Out += Fraction;
  }
  return true;
}

bool ReadNumber(std::string_view Text, std::size_t Pos, std::size_t Digits, int& Value) {
  if (Pos + Digits > Text.size()) return false;
  Value = 0;
  for (std::size_t I = Pos; I < Pos + Digits; ++I) {
    if (!IsDigit(Text[I])) return false;
    Value = Value * 10 + (Text[I] - '0');
  }
  return true;
}

struct TDateParts {
  int Year = 0, Month = 0, Day = 0;
};
struct TTimeParts {
  int Hour = 0, Minute = 0, Second = 0, Milli = 0;
};

bool ParseDate(std::string_view Text, TDateParts& Date) {
  if (Text.size() != 8 || !ReadNumber(Text, 0, 4, Date.Year) ||
      !ReadNumber(Text, 4, 2, Date.Month) || !ReadNumber(Text, 6, 2, Date.Day))
    return false;
  static constexpr int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (Date.Year < 1 || Date.Month < 1 || Date.Month > 12 || Date.Day < 1) return false;
  const bool Leap = (Date.Year % 4 == 0 && Date.Year % 100 != 0) || Date.Year % 400 == 0;
  return Date.Day <= Days[Date.Month - 1] + (Date.Month == 2 && Leap ? 1 : 0);
}

// HH:MM:SS followed by up to three digits of milliseconds (the engine writes "10:00:00000"),
// optionally after a '.'.
bool ParseTime(std::string_view Text, TTimeParts& Time) {
  if (Text.size() < 8 || Text[2] != ':' || Text[5] != ':' || !ReadNumber(Text, 0, 2, Time.Hour) ||
      !ReadNumber(Text, 3, 2, Time.Minute) || !ReadNumber(Text, 6, 2, Time.Second))
    return false;
  std::string_view Milli = Text.substr(8);
  if (!Milli.empty() && Milli[0] == '.') Milli.remove_prefix(1);
  if (Milli.size() > 3) return false;
  Time.Milli = 0;
  if (!Milli.empty() && !ReadNumber(Milli, 0, Milli.size(), Time.Milli)) return false;
  return Time.Hour < 24 && Time.Minute < 60 && Time.Second < 60;
}

void AppendDate(const TDateParts& Date, std::string& Out) {
  char Buffer[16];
  std::snprintf(Buffer, sizeof Buffer, "%02d/%02d/%04d", Date.Day, Date.Month, Date.Year);
  Out += Buffer;
}

void AppendTime(const TTimeParts& Time, std::string& Out) {
  char Buffer[16];
  std::snprintf(Buffer, sizeof Buffer, "%02d:%02d:%02d", Time.Hour, Time.Minute, Time.Second);
  Out += Buffer;
}

constexpr std::array<signed char, 256> Base64Table = [] {
  std::array<signed char, 256> Table{};
  for (auto& Entry : Table) Entry = -1;
  constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (int I = 0; I < 64; ++I)
    Table[static_cast<unsigned char>(Alphabet[I])] = static_cast<signed char>(I);
  return Table;
}();

// Standard Base64 with its padding; blanks between the characters are skipped. On failure
// Reason says why.
bool DecodeBase64(std::string_view Text, std::string& Out, std::string& Reason) {
  std::uint32_t Bits = 0;
  int BitCount = 0;
  std::size_t Count = 0;
  std::size_t Padding = 0;
  for (std::size_t I = 0; I < Text.size(); ++I) {
    const auto C = static_cast<unsigned char>(Text[I]);
    if (IsBlank(C)) continue;
    if (C == '=') {
      ++Padding;
      continue;
    }
    const int Sextet = Base64Table[C];
    if (Sextet < 0 || Padding > 0) {
      Reason = Padding > 0
                   ? "caractere depois do preenchimento \"=\" na posi\u00e7\u00e3o " +
                         std::to_string(I + 1)
                   : "caractere " + QuoteValue(Text.substr(I, 1)) +
                         " fora do alfabeto Base64 na posi\u00e7\u00e3o " + std::to_string(I + 1);
      return false;
    }
    ++Count;
    Bits = (Bits << 6) | static_cast<std::uint32_t>(Sextet);
    BitCount += 6;
    if (BitCount >= 8) {
      BitCount -= 8;
      Out += static_cast<char>((Bits >> BitCount) & 0xFF);
    }
  }
  if (Padding > 2 || (Count + Padding) % 4 != 0 || Count % 4 == 1) {
    Reason = "o comprimento (" + std::to_string(Count) + " caracteres e " +
             std::to_string(Padding) + " de preenchimento) n\u00e3o forma grupos de quatro";
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// Errors

std::string PathText(const std::filesystem::path& Path) {
  const std::u8string Text = Path.u8string();
  return std::string(Text.begin(), Text.end());
}

[[noreturn]] void ThrowRead(const std::string& File, const std::string& Reason) {
  throw EDataSetError("n\u00e3o foi poss\u00edvel ler \"" + File + "\": " + Reason, File, -1,
                      Reason);
}

enum class TLead { NotPacket, CannotLoad };

[[noreturn]] void ThrowPacket(const std::string& File, std::int64_t Offset,
                              const std::string& Reason, TLead Lead = TLead::NotPacket) {
  std::string Message = "\"" + File + "\"" +
                        (Lead == TLead::NotPacket ? " n\u00e3o \u00e9 um pacote de dados XML: "
                                                  : " n\u00e3o pode ser carregado: ") +
                        Reason;
  if (Offset >= 0) Message += " (byte " + std::to_string(Offset) + ")";
  throw EDataSetError(Message, File, Offset, Reason);
}

std::string SystemReason(int Error) {
  switch (Error) {
    case ENOENT:
    case ENOTDIR:
      return "arquivo n\u00e3o encontrado";
    case EACCES:
    case EPERM:
      return "acesso negado";
    case EISDIR:
      return "\u00e9 uma pasta, n\u00e3o um arquivo";
    case ENAMETOOLONG:
      return "nome de arquivo longo demais";
    case ELOOP:
      return "la\u00e7o de links simb\u00f3licos";
    case ENOMEM:
      return "mem\u00f3ria insuficiente";
    default:
      return "erro do sistema " + std::to_string(Error) + " (" +
             std::generic_category().message(Error) + ")";
  }
}

// ---------------------------------------------------------------------------------------
// Reading the file

// The bytes of a packet read from a file; every value is read from them, so they live as long
// as the packet is loaded. A large buffer is mapped with transparent huge pages where the
// system offers them: far fewer page faults while reading, fewer TLB misses while parsing
// (about a quarter of the load time on a 500 MB packet).
class TFileBuffer {
 public:
  TFileBuffer() = default;
  TFileBuffer(const TFileBuffer&) = delete;
  TFileBuffer& operator=(const TFileBuffer&) = delete;
  ~TFileBuffer() { Free(); }

  char* Data() const noexcept { return Bytes; }
  std::size_t Size() const noexcept { return Length; }
  void SetSize(std::size_t Size) noexcept { Length = Size; }

  bool Allocate(std::size_t Size) noexcept {
    Free();
#ifndef _WIN32
    constexpr std::size_t MapFrom = std::size_t(4) << 20;
    if (Size >= MapFrom) {
      void* Block =
          ::mmap(nullptr, Size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (Block != MAP_FAILED) {
#ifdef MADV_HUGEPAGE
        ::madvise(Block, Size, MADV_HUGEPAGE);  // a hint: ignored where unsupported
#endif
        Bytes = static_cast<char*>(Block);
        Length = Capacity = Size;
        Mapped = true;
        return true;
      }
    }
#endif
    Bytes = static_cast<char*>(std::malloc(Size));
    if (!Bytes) return false;
    Length = Capacity = Size;
    return true;
  }

  void Free() noexcept {
#ifndef _WIN32
    if (Mapped)
      ::munmap(Bytes, Capacity);
    else
#endif
      std::free(Bytes);
    Bytes = nullptr;
    Length = Capacity = 0;
    Mapped = false;
  }

 private:
  char* Bytes = nullptr;
  std::size_t Length = 0;
  std::size_t Capacity = 0;
  bool Mapped = false;
};

void Allocate(TFileBuffer& Buffer, std::size_t Size, const std::string& File) {
  if (!Buffer.Allocate(Size))
    ThrowRead(File, "mem\u00f3ria insuficiente para " + std::to_string(Size) + " bytes");
}

#ifdef _WIN32

void ReadWholeFile(const std::filesystem::path& Path, const std::string& File,
                   TFileBuffer& Buffer) {
  std::error_code Error;
  const auto Status = std::filesystem::status(Path, Error);
  if (Error || !std::filesystem::exists(Status)) ThrowRead(File, "arquivo n\u00e3o encontrado");
  if (std::filesystem::is_directory(Status))
    ThrowRead(File, "\u00e9 uma pasta, n\u00e3o um arquivo");
  if (!std::filesystem::is_regular_file(Status))
    ThrowRead(File, "n\u00e3o \u00e9 um arquivo comum");
  std::FILE* Stream = _wfopen(Path.c_str(), L"rb");
  if (!Stream) ThrowRead(File, SystemReason(errno));
  struct TCloser {
    std::FILE* S;
    ~TCloser() { std::fclose(S); }
  } Closer{Stream};
  if (_fseeki64(Stream, 0, SEEK_END) != 0) ThrowRead(File, SystemReason(errno));
  const long long Size = _ftelli64(Stream);
  if (Size < 0 || _fseeki64(Stream, 0, SEEK_SET) != 0) ThrowRead(File, SystemReason(errno));
  if (Size == 0) return;
  Allocate(Buffer, static_cast<std::size_t>(Size), File);
  Buffer.SetSize(std::fread(Buffer.Data(), 1, Buffer.Size(), Stream));
  if (std::ferror(Stream)) ThrowRead(File, "erro de leitura");
}

#else

const char* KindOfSpecialFile(mode_t Mode) {
  if (S_ISDIR(Mode)) return "\u00e9 uma pasta, n\u00e3o um arquivo";
  if (S_ISFIFO(Mode)) return "n\u00e3o \u00e9 um arquivo comum (\u00e9 um FIFO)";
  if (S_ISSOCK(Mode)) return "n\u00e3o \u00e9 um arquivo comum (\u00e9 um socket)";
  if (S_ISCHR(Mode) || S_ISBLK(Mode))
    return "n\u00e3o \u00e9 um arquivo comum (\u00e9 um dispositivo)";
  return S_ISREG(Mode) ? nullptr : "n\u00e3o \u00e9 um arquivo comum";
}

// The whole file with one read into one buffer. Anything but a regular file is refused
// before it is opened (and again on the open handle, which is opened non-blocking, so a FIFO
// swapped in between cannot hang the read).
void ReadWholeFile(const std::filesystem::path& Path, const std::string& File,
                   TFileBuffer& Buffer) {
  struct stat Info;
  if (::stat(Path.c_str(), &Info) != 0) ThrowRead(File, SystemReason(errno));
  if (const char* Reason = KindOfSpecialFile(Info.st_mode)) ThrowRead(File, Reason);
  int Handle;
  do {
    Handle = ::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  } while (Handle < 0 && errno == EINTR);
  if (Handle < 0) ThrowRead(File, SystemReason(errno));
  struct TCloser {
    int H;
    ~TCloser() { ::close(H); }
  } Closer{Handle};
  if (::fstat(Handle, &Info) != 0) ThrowRead(File, SystemReason(errno));
  if (const char* Reason = KindOfSpecialFile(Info.st_mode)) ThrowRead(File, Reason);
  if (Info.st_size <= 0) return;
  Allocate(Buffer, static_cast<std::size_t>(Info.st_size), File);
  std::size_t Got = 0;
  while (Got < Buffer.Size()) {
    // Linux reads at most about 2 GiB per call; a larger file takes more than one.
    const ssize_t N = ::read(Handle, Buffer.Data() + Got, Buffer.Size() - Got);
    if (N < 0) {
      if (errno == EINTR) continue;
      ThrowRead(File, "erro de leitura: " + SystemReason(errno));
    }
    if (N == 0) break;  // the file shrank meanwhile: take what is there
    Got += static_cast<std::size_t>(N);
  }
  Buffer.SetSize(Got);
}

#endif

// ---------------------------------------------------------------------------------------
// The declaration

enum class TEncoding { Undeclared, Utf8, Bytes };

struct TPrologue {
  TEncoding Encoding = TEncoding::Undeclared;
  bool Bom = false;
};

// Recognises the packet and reads its encoding from the XML declaration, before pugixml
// sees the bytes (pugixml does not report the declared encoding when told the buffer's).
TPrologue ReadPrologue(const char* Data, std::size_t Size, const std::string& File) {
  static constexpr unsigned char BinaryMagic[] = {0x96, 0x19, 0xE0, 0xBD};
  if (Size >= 4 && std::memcmp(Data, BinaryMagic, 4) == 0)
    ThrowPacket(File, 0,
                "\u00e9 um pacote de dados bin\u00e1rio (come\u00e7a com 96 19 E0 BD); "
                "s\u00f3 o formato XML \u00e9 lido",
                TLead::CannotLoad);
  TPrologue Result;
  std::size_t P = 0;
  if (Size >= 3 && std::memcmp(Data, "\xEF\xBB\xBF", 3) == 0) {
    Result.Bom = true;
    P = 3;
  }
  while (P < Size && IsBlank(static_cast<unsigned char>(Data[P]))) ++P;
  if (Size == 0) ThrowPacket(File, -1, "o arquivo est\u00e1 vazio");
  if (P == Size) ThrowPacket(File, -1, "o arquivo s\u00f3 tem espa\u00e7os em branco");
  if (Data[P] != '<')
    ThrowPacket(File, static_cast<std::int64_t>(P),
                "n\u00e3o come\u00e7a com \"<\" (o primeiro caractere \u00e9 " +
                    QuoteValue(std::string_view(Data + P, 1)) + ")");
  const std::string_view Text(Data, Size);
  if (Text.compare(P, 5, "<?xml") != 0 || P + 5 >= Size ||
      !IsBlank(static_cast<unsigned char>(Data[P + 5])))
    return Result;
  const std::size_t DeclEnd = Text.find("?>", P + 5);
  if (DeclEnd == std::string_view::npos)
    ThrowPacket(File, static_cast<std::int64_t>(P), "a declara\u00e7\u00e3o XML n\u00e3o termina");
  // Pseudo-attributes: name = "value" or 'value', blanks allowed around '='.
  std::size_t I = P + 5;
  while (true) {
    while (I < DeclEnd && IsBlank(static_cast<unsigned char>(Data[I]))) ++I;
    if (I >= DeclEnd) break;
    const std::size_t NameBegin = I;
    while (I < DeclEnd && !IsBlank(static_cast<unsigned char>(Data[I])) && Data[I] != '=') ++I;
    const std::string_view Name = Text.substr(NameBegin, I - NameBegin);
    while (I < DeclEnd && IsBlank(static_cast<unsigned char>(Data[I]))) ++I;
    if (I >= DeclEnd || Data[I] != '=')
      ThrowPacket(
          File, static_cast<std::int64_t>(I),
          "declara\u00e7\u00e3o XML malformada (falta \"=\" depois de " + QuoteValue(Name) + ")");
    ++I;
    while (I < DeclEnd && IsBlank(static_cast<unsigned char>(Data[I]))) ++I;
    if (I >= DeclEnd || (Data[I] != '"' && Data[I] != '\''))
      ThrowPacket(File, static_cast<std::int64_t>(I),
                  "declara\u00e7\u00e3o XML malformada (valor sem aspas)");
    const char Quote = Data[I++];
    const std::size_t ValueEnd = Text.find(Quote, I);
    if (ValueEnd == std::string_view::npos || ValueEnd > DeclEnd)
      ThrowPacket(File, static_cast<std::int64_t>(I),
                  "declara\u00e7\u00e3o XML malformada (aspas sem fim)");
    const std::string_view Value = Text.substr(I, ValueEnd - I);
    I = ValueEnd + 1;
    if (!SameTextAscii(Name, "encoding")) continue;
    std::string Key;
    for (const char C : Value)
      if (C != '-' && C != '_' && C != ' ') Key += AsciiLower(C);
    if (Key == "utf8") {
      Result.Encoding = TEncoding::Utf8;
    } else if (Key == "iso88591" || Key == "latin1" || Key == "l1" || Key == "windows1252" ||
               Key == "cp1252" || Key == "xcp1252" || Key == "usascii" || Key == "ascii") {
      Result.Encoding = TEncoding::Bytes;
    } else {
      ThrowPacket(File, static_cast<std::int64_t>(ValueEnd - Value.size()),
                  "a codifica\u00e7\u00e3o declarada " + QuoteValue(Value) +
                      " n\u00e3o \u00e9 suportada (s\u00f3 UTF-8, ISO-8859-1 e "
                      "Windows-1252)",
                  TLead::CannotLoad);
    }
  }
  return Result;
}

// Where an element starts in the file: its '<' (pugixml gives the offset of its name).
std::int64_t OffsetOf(pugi::xml_node Node) {
  const std::ptrdiff_t Offset = Node.offset_debug();
  return Offset > 0 ? static_cast<std::int64_t>(Offset) - 1 : -1;
}

// A non-negative decimal number no larger than Limit.
bool ReadCount(std::string_view Text, std::uint64_t Limit, std::uint64_t& Value) {
  if (Text.empty()) return false;
  Value = 0;
  for (const char C : Text) {
    if (!IsDigit(C)) return false;
    Value = Value * 10 + static_cast<std::uint64_t>(C - '0');
    if (Value > Limit) return false;
  }
  return true;
}

// One triplet of CHANGE_LOG that links a row (1-based position) to the row it replaces.
struct TLink {
  std::uint32_t Row;
  std::uint32_t Replaces;
};

// The links of CHANGE_LOG ("a b k" triplets, b = 0 for none). A log that is not a list of
// numbers is ignored whole (file order then); an incomplete last triplet is ignored.
// Numbers too large for a row position are kept as "no such row".
std::vector<TLink> ReadChangeLog(const char* Text) {
  std::vector<TLink> Links;
  std::uint32_t Triplet[3];
  int InTriplet = 0;
  const char* P = Text;
  while (true) {
    while (IsBlank(static_cast<unsigned char>(*P))) ++P;
    if (!*P) break;
    std::uint64_t Value = 0;
    for (; *P && !IsBlank(static_cast<unsigned char>(*P)); ++P) {
      if (!IsDigit(*P)) return {};
      Value =
          std::min<std::uint64_t>(Value * 10 + static_cast<std::uint64_t>(*P - '0'), 0xFFFFFFFFull);
    }
    Triplet[InTriplet++] = static_cast<std::uint32_t>(Value);
    if (InTriplet == 3) {
      InTriplet = 0;
      if (Triplet[0] != 0 && Triplet[1] != 0 && Triplet[0] != Triplet[1])
        Links.push_back({Triplet[0], Triplet[1]});
    }
  }
  return Links;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The dataset

namespace {

// An attribute name to match the names of a parse against: its first 16 bytes with the
// terminating NUL as two words and the masks of the bytes that count, so that a comparison
// is a few word operations (a byte loop cost an eighth of a whole conversion). A name too
// near the end of its buffer for a 16-byte read is compared as a string.
class TNameKey {
 public:
  TNameKey() = default;
  explicit TNameKey(std::string_view Name) : Text(Name) {
    unsigned char Bytes[16] = {};
    unsigned char Masks[16] = {};
    const std::size_t Length = std::min<std::size_t>(Text.size() + 1, 16);
    std::memcpy(Bytes, Text.c_str(), Length);
    std::memset(Masks, 0xFF, Length);
    std::memcpy(Word, Bytes, 16);
    std::memcpy(Mask, Masks, 16);
  }
  // Name lies in a buffer that ends at Limit.
  bool Matches(const char* Name, const char* Limit) const noexcept {
    if (Limit - Name < 16 || static_cast<std::size_t>(Limit - Name) <= Text.size())
      return std::strcmp(Name, Text.c_str()) == 0;
    std::uint64_t Read[2];
    std::memcpy(Read, Name, 16);
    if (((Read[0] ^ Word[0]) & Mask[0]) | ((Read[1] ^ Word[1]) & Mask[1])) return false;
    const std::size_t Length = Text.size() + 1;
    return Length <= 16 || std::memcmp(Name + 16, Text.c_str() + 16, Length - 16) == 0;
  }

 private:
  std::string Text;
  std::uint64_t Word[2] = {0, 0};
  std::uint64_t Mask[2] = {0, 0};
};

}  // namespace

struct TClientDataSet::TImpl {
  inline static const std::string RowStateName = "RowState";
  inline static const TNameKey RowStateKey{RowStateName};

  struct TFieldState {
    std::string AttrName;
    TKind Kind = TKind::Text;
    int Precision = 15;
    bool Primary = true;  // the first field with this attrname (it takes the attribute)
    int SameAs = -1;      // else the field whose value it shares
    TNameKey Key;         // AttrName, for matching the ROW attributes
    std::string Decoded;  // scratch: the decoded text
    std::string Typed;    // scratch: the text of a typed value
  };

  // Attribute normalisation stays on: literal CR, LF and TAB in a value read as blanks. No
  // parse_escapes: values are decoded when read.
  static constexpr unsigned Options = pugi::parse_wconv_attribute;
  // A part of the rows: also everything that would be skipped silently but means something
  // between the rows (a declaration, a doctype, a processing instruction), so it can be seen.
  static constexpr unsigned PartOptions = Options | pugi::parse_fragment | pugi::parse_comments |
                                          pugi::parse_pi | pugi::parse_declaration |
                                          pugi::parse_doctype;
  // How much of the rows one part holds, at least; its document is about 2.5 times that.
  static constexpr std::size_t PartSize = std::size_t(1) << 20;

  // The packet's bytes as read, never changed: FileBytes for LoadFromFile, Bytes for
  // LoadFromBytes. Every value is read from here.
  TFileBuffer FileBytes;
  std::string Bytes;
  const char* Packet = nullptr;
  std::size_t PacketSize = 0;
  std::string Source;
  bool Utf8 = false;
  bool Open = false;  // loaded and open: Close drops the packet, as the engine does
  std::vector<std::unique_ptr<TField>> Fields;
  std::vector<TFieldState> States;
  bool SharedAttrNames = false;
  int RowStateField = -1;  // the primary field whose attrname is RowState, if any
  // Where the values lie: record R starts at RowStart[R] in the packet, and its value of the
  // primary field F starts ValueAt[R * States.size() + F] bytes further (0: no attribute).
  std::vector<std::uint64_t> RowStart;
  std::vector<std::uint32_t> ValueAt;
  std::int32_t Current = 0;

  void Reset() noexcept {
    Open = false;
    FileBytes.Free();
    std::string().swap(Bytes);
    Packet = nullptr;
    PacketSize = 0;
    Fields.clear();
    States.clear();
    ForgetRows();
    Current = 0;
    SharedAttrNames = false;
    RowStateField = -1;
  }

  void ForgetRows() noexcept {
    std::vector<std::uint64_t>().swap(RowStart);
    std::vector<std::uint32_t>().swap(ValueAt);
  }

  std::int32_t RecordCount() const noexcept { return static_cast<std::int32_t>(RowStart.size()); }

  // Parses the packet in Buffer (FileBytes or Bytes) and opens.
  void Load(TClientDataSet* Owner, const char* Buffer, std::size_t Size) {
    try {
      Packet = Buffer;
      PacketSize = Size;
      Parse(Owner, Buffer, Size);
    } catch (...) {
      Reset();
      throw;
    }
    Open = true;
  }

  void Parse(TClientDataSet* Owner, const char* Buffer, std::size_t Size) {
    const TPrologue Prologue = ReadPrologue(Buffer, Size, Source);
    switch (Prologue.Encoding) {
      case TEncoding::Utf8:
        Utf8 = true;
        break;
      case TEncoding::Bytes:
        Utf8 = false;
        break;
      case TEncoding::Undeclared:
        Utf8 = Prologue.Bom || ScanUtf8(Buffer, Size) == TUtf8Scan::Utf8;
        break;
    }
    if (ParseInParts(Owner, Buffer, Size)) return;
    Fields.clear();
    States.clear();
    SharedAttrNames = false;
    RowStateField = -1;
    ForgetRows();
    ParseWhole(Owner, Buffer, Size);
  }

  // Any packet: one document of a copy of the whole, dropped once the values are noted.
  void ParseWhole(TClientDataSet* Owner, const char* Buffer, std::size_t Size) {
    std::string Copy(Buffer, Size);
    pugi::xml_document Document;
    const pugi::xml_parse_result Result =
        Document.load_buffer_inplace(Copy.data(), Copy.size(), Options, pugi::encoding_utf8);
    if (!Result)
      ThrowPacket(Source, Result.offset, std::string("XML malformado: ") + Result.description());
    std::vector<TLink> Links;
    const pugi::xml_node Root = ReadMetadata(Owner, Document, Links);
    const pugi::xml_node RowData = Root.child("ROWDATA");
    std::vector<std::uint32_t> Positions;  // 1-based ROW position of each record (for links)
    std::uint32_t Position = 0;
    for (pugi::xml_node Row = RowData.first_child(); Row; Row = Row.next_sibling()) {
      if (Row.type() != pugi::node_element || std::strcmp(Row.name(), "ROW") != 0) continue;
      if (AddRow(Row, Copy.data(), Copy.data() + Copy.size(), 0, ++Position) && !Links.empty())
        Positions.push_back(Position);
    }
    FinishRows(Links, Positions, Position);
  }

  // The packets the engine writes: the rows one after the other between "<ROWDATA>" and
  // "</ROWDATA>". The packet without its rows is parsed for the metadata, and the rows part
  // by part, each from a copy whose document is dropped once its values are noted, so the
  // document of the whole packet never exists. Each part ends before a "<ROW": a part that
  // ends inside a row, a value, a comment or a nested element is not well formed on its own,
  // and anything else between the rows is told apart below. False, with nothing kept, for a
  // packet laid out otherwise, or one that has an error (the whole document then reports it
  // where it is).
  bool ParseInParts(TClientDataSet* Owner, const char* Buffer, std::size_t Size) {
    const std::string_view Text(Buffer, Size);
    constexpr std::string_view OpenTag = "<ROWDATA>";
    constexpr std::string_view CloseTag = "</ROWDATA>";
    const std::size_t OpenAt = Text.find(OpenTag);
    const std::size_t CloseAt = Text.rfind(CloseTag);
    if (OpenAt == std::string_view::npos || CloseAt == std::string_view::npos ||
        CloseAt < OpenAt + OpenTag.size())
      return false;
    const std::size_t RowsBegin = OpenAt + OpenTag.size();

    std::string Skeleton;
    Skeleton.reserve(RowsBegin + (Size - CloseAt));
    Skeleton.append(Buffer, RowsBegin).append(Buffer + CloseAt, Size - CloseAt);
    pugi::xml_document Document;
    if (!Document.load_buffer_inplace(Skeleton.data(), Skeleton.size(), Options,
                                      pugi::encoding_utf8))
      return false;
    const pugi::xml_node RowData = Document.document_element().child("ROWDATA");
    if (!RowData || OffsetOf(RowData) != static_cast<std::int64_t>(OpenAt) || RowData.first_child())
      return false;

    try {
      std::vector<TLink> Links;
      ReadMetadata(Owner, Document, Links);
      Document.reset();
      std::string().swap(Skeleton);

      std::vector<std::uint32_t> Positions;
      std::uint32_t Position = 0;
      std::string Part;
      pugi::xml_document Rows;
      for (std::size_t At = RowsBegin; At < CloseAt;) {
        const std::size_t Cut = NextCut(Text, At + PartSize, CloseAt);
        Part.assign(Buffer + At, Cut - At);
        if (!Rows.load_buffer_inplace(Part.data(), Part.size(), PartOptions, pugi::encoding_utf8))
          return false;
        for (pugi::xml_node Row = Rows.first_child(); Row; Row = Row.next_sibling()) {
          const pugi::xml_node_type Type = Row.type();
          if (Type == pugi::node_pcdata || Type == pugi::node_comment) continue;
          if (Type != pugi::node_element) return false;
          if (std::strcmp(Row.name(), "ROW") != 0) continue;
          if (AddRow(Row, Part.data(), Part.data() + Part.size(), At, ++Position) && !Links.empty())
            Positions.push_back(Position);
        }
        if (At == RowsBegin) EstimateRows(Cut - RowsBegin, CloseAt - RowsBegin);
        At = Cut;
      }
      FinishRows(Links, Positions, Position);
    } catch (const EDataSetError&) {
      return false;
    }
    return true;
  }

  // The first "<ROW" (the whole name) from From on, or Limit.
  static std::size_t NextCut(std::string_view Text, std::size_t From, std::size_t Limit) {
    while (From < Limit) {
      const std::size_t At = Text.find("<ROW", From);
      if (At == std::string_view::npos || At + 4 >= Limit) return Limit;
      const char After = Text[At + 4];
      if (After == '/' || After == '>' || IsBlank(static_cast<unsigned char>(After))) return At;
      From = At + 4;
    }
    return Limit;
  }

  // Room for the records of the whole packet, judged from its first part: reserved memory
  // that is never written costs nothing, and the tables are not copied as they grow.
  void EstimateRows(std::size_t PartBytes, std::size_t AllBytes) {
    if (PartBytes == 0 || RowStart.empty()) return;
    const double Rows = static_cast<double>(RowStart.size()) * static_cast<double>(AllBytes) /
                        static_cast<double>(PartBytes) * 1.1;
    if (Rows > 2147483647.0) return;
    RowStart.reserve(static_cast<std::size_t>(Rows));
    ValueAt.reserve(static_cast<std::size_t>(Rows) * States.size());
  }

  // The checks and the metadata of a packet's document. Returns its root.
  pugi::xml_node ReadMetadata(TClientDataSet* Owner, const pugi::xml_document& Document,
                              std::vector<TLink>& Links) {
    const pugi::xml_node Root = Document.document_element();
    if (std::strcmp(Root.name(), "DATAPACKET") != 0)
      ThrowPacket(
          Source, OffsetOf(Root),
          "o elemento raiz \u00e9 " + QuoteValue(Root.name()) + ", n\u00e3o \"DATAPACKET\"");
    const pugi::xml_node Metadata = Root.child("METADATA");
    if (!Metadata) ThrowPacket(Source, OffsetOf(Root), "falta o elemento METADATA");
    const pugi::xml_node FieldList = Metadata.child("FIELDS");
    if (!FieldList) ThrowPacket(Source, OffsetOf(Metadata), "falta o elemento METADATA/FIELDS");

    const pugi::xml_node Params = Metadata.child("PARAMS");
    if (Params) {
      const std::string_view Delta = Params.attribute("DATASET_DELTA").value();
      if (SameTextAscii(Delta, "true") || Delta == "1")
        ThrowPacket(Source, OffsetOf(Params),
                    "\u00e9 um pacote delta (PARAMS DATASET_DELTA), n\u00e3o uma tabela",
                    TLead::CannotLoad);
      Links = ReadChangeLog(Params.attribute("CHANGE_LOG").value());
    }
    ReadFields(Owner, FieldList);
    return Root;
  }

  void ReadFields(TClientDataSet* Owner, pugi::xml_node FieldList) {
    int Number = 0;
    for (pugi::xml_node Node = FieldList.first_child(); Node; Node = Node.next_sibling()) {
      if (Node.type() != pugi::node_element || std::strcmp(Node.name(), "FIELD") != 0) continue;
      ++Number;
      const pugi::xml_attribute AttrName = Node.attribute("attrname");
      if (!AttrName || !*AttrName.value())
        ThrowPacket(
            Source, OffsetOf(Node),
            "o campo n\u00ba " + std::to_string(Number) + " de FIELDS n\u00e3o tem " +
                (Node.attribute("tagname") ? "\"attrname\" (usa \"tagname\", valores em elementos, "
                                             "o que n\u00e3o \u00e9 suportado)"
                                           : std::string("\"attrname\"")),
            TLead::CannotLoad);
      const pugi::xml_attribute FieldName = Node.attribute("fieldname");
      const char* Name = FieldName && *FieldName.value() ? FieldName.value() : AttrName.value();

      TFieldState State;
      State.AttrName = AttrName.value();
      State.Key = TNameKey(State.AttrName);
      State.Kind = KindOf(Node.attribute("fieldtype").value(), Node.attribute("SUBTYPE").value(),
                          State.Precision);
      for (std::size_t I = 0; I < States.size(); ++I) {
        if (States[I].AttrName == State.AttrName) {
          State.Primary = false;
          State.SameAs = static_cast<int>(I);
          SharedAttrNames = true;
          break;
        }
      }
      if (State.Primary && State.AttrName == RowStateName)
        RowStateField = static_cast<int>(States.size());

      std::unique_ptr<TField> Field(new TField());
      Field->Owner = Owner;
      Field->Index = static_cast<int>(States.size());
      AppendDecoded(Name, Utf8, Field->Name);
      Field->Type = Node.attribute("fieldtype").value();
      States.push_back(std::move(State));
      Fields.push_back(std::move(Field));
    }
  }

  int MatchField(const char* Name, const char* Limit, int After) const noexcept {
    const int FieldCount = static_cast<int>(States.size());
    for (int I = After; I < FieldCount; ++I)
      if (States[I].Primary && States[I].Key.Matches(Name, Limit)) return I;
    for (int I = 0; I < After && I < FieldCount; ++I)
      if (States[I].Primary && States[I].Key.Matches(Name, Limit)) return I;
    return -1;
  }

  // One ROW of a document parsed in place from a copy of the packet's bytes: Copy is where
  // the copy starts, Limit where it ends, Origin where it was taken from in the packet. A
  // superseded (RowState bit 1) or deleted (bit 2) version is skipped; a record has the place of
  // each value noted, its attributes matched to the fields expecting FIELDS order (a repeated
  // attribute: the first counts). Returns whether the row is a record.
  bool AddRow(pugi::xml_node Row, const char* Copy, const char* Limit, std::size_t Origin,
              std::uint32_t Position) {
    const std::uint64_t Start = Origin + static_cast<std::size_t>(Row.name() - Copy) - 1;
    const std::size_t FieldCount = States.size();
    const std::size_t First = ValueAt.size();
    ValueAt.resize(First + FieldCount, 0);
    std::uint32_t* Slots = ValueAt.data() + First;
    pugi::xml_attribute State;  // the first RowState
    int Expected = 0;
    const int Last = static_cast<int>(FieldCount);
    for (pugi::xml_attribute Attribute = Row.first_attribute(); Attribute;
         Attribute = Attribute.next_attribute()) {
      const char* Name = Attribute.name();
      int Field;
      if (Expected < Last && States[Expected].Primary &&
          States[Expected].Key.Matches(Name, Limit)) {
        Field = Expected;
      } else if (RowStateKey.Matches(Name, Limit)) {
        if (!State) State = Attribute;
        if (RowStateField < 0) continue;
        Field = MatchField(Name, Limit, Expected);
      } else {
        Field = MatchField(Name, Limit, Expected);
      }
      if (Field < 0) continue;
      if (Field == RowStateField && !State) State = Attribute;
      Expected = Field + 1;
      if (Slots[Field]) continue;
      const std::uint64_t At = Origin + static_cast<std::size_t>(Attribute.value() - Copy);
      if (At - Start > 0xFFFFFFFFull)
        ThrowPacket(Source, static_cast<std::int64_t>(Start),
                    "a linha ROW n\u00ba " + std::to_string(Position) + " passa de 4 GiB");
      Slots[Field] = static_cast<std::uint32_t>(At - Start);
    }
    if (State) {
      std::uint64_t Bits = 0;
      const char* Text = State.value();
      if (*Text && !ReadCount(Text, 0xFFFFFFFFull, Bits))
        ThrowPacket(Source, static_cast<std::int64_t>(Start),
                    "a linha ROW n\u00ba " + std::to_string(Position) +
                        " tem RowState inv\u00e1lido " + QuoteValue(Text));
      if (Bits & 3) {
        ValueAt.resize(First);
        return false;
      }
    }
    if (RowStart.size() >= 0x7FFFFFFFu)
      ThrowPacket(Source, static_cast<std::int64_t>(Start), "registros demais");
    RowStart.push_back(Start);
    return true;
  }

  void FinishRows(const std::vector<TLink>& Links, const std::vector<std::uint32_t>& Positions,
                  std::uint32_t RowCount) {
    if (!Links.empty()) OrderByFirstVersion(Links, Positions, RowCount);
  }
  // Follows each record's CHANGE_LOG chain back to its first version and orders the records
  // by the position of that version (file order among equals). Links to rows that do not
  // exist are ignored; a cycle leaves its rows where they are.
  void OrderByFirstVersion(const std::vector<TLink>& Links,
                           const std::vector<std::uint32_t>& Positions, std::uint32_t RowCount) {
    std::vector<std::uint32_t> Parent(RowCount + 1, 0);
    bool Any = false;
    for (const TLink& Link : Links) {
      if (Link.Row > RowCount || Link.Replaces > RowCount || Parent[Link.Row] != 0) continue;
      Parent[Link.Row] = Link.Replaces;
      Any = true;
    }
    if (!Any) return;
    // Root[row]: 0 unknown, else the chain's first position; Visiting marks the current walk.
    constexpr std::uint32_t Visiting = 0xFFFFFFFFu;
    std::vector<std::uint32_t> Root(RowCount + 1, 0);
    std::vector<std::uint32_t> Path;
    const auto RootOf = [&](std::uint32_t Row) {
      Path.clear();
      std::uint32_t At = Row;
      while (Root[At] == 0 && Parent[At] != 0) {
        Root[At] = Visiting;
        Path.push_back(At);
        At = Parent[At];
      }
      if (Root[At] == Visiting) {  // a cycle: the rows of this walk keep their own places
        for (const std::uint32_t Step : Path) Root[Step] = Step;
        return Root[Row];
      }
      if (Root[At] == 0) Root[At] = At;  // the first version of the chain
      for (const std::uint32_t Step : Path) Root[Step] = Root[At];
      return Root[At];
    };
    struct TKeyed {
      std::uint32_t Root;
      std::uint32_t Position;
      std::uint32_t Record;
    };
    std::vector<TKeyed> Keyed;
    Keyed.reserve(RowStart.size());
    bool Sorted = true;
    for (std::size_t I = 0; I < RowStart.size(); ++I) {
      Keyed.push_back({RootOf(Positions[I]), Positions[I], static_cast<std::uint32_t>(I)});
      if (I > 0 && Keyed[I].Root < Keyed[I - 1].Root) Sorted = false;
    }
    if (Sorted) return;
    std::sort(Keyed.begin(), Keyed.end(), [](const TKeyed& A, const TKeyed& B) {
      return A.Root != B.Root ? A.Root < B.Root : A.Position < B.Position;
    });
    const std::size_t FieldCount = States.size();
    std::vector<std::uint64_t> Starts(Keyed.size());
    std::vector<std::uint32_t> Places(Keyed.size() * FieldCount);
    for (std::size_t I = 0; I < Keyed.size(); ++I) {
      Starts[I] = RowStart[Keyed[I].Record];
      std::copy_n(ValueAt.begin() + static_cast<std::ptrdiff_t>(Keyed[I].Record * FieldCount),
                  FieldCount, Places.begin() + static_cast<std::ptrdiff_t>(I * FieldCount));
    }
    RowStart.swap(Starts);
    ValueAt.swap(Places);
  }

  [[noreturn]] void BadValue(int Index, std::string_view Value, const char* What) const {
    throw EDatabaseError("o valor " + QuoteValue(Value) + " do campo \"" +
                         Cp1252ToUtf8(Fields[Index]->Name) + "\" (" + Fields[Index]->Type +
                         ") n\u00e3o \u00e9 " + What);
  }

  std::string_view Value(int Index) {
    if (!Open || Current >= RecordCount()) return {};
    const std::size_t Slot =
        static_cast<std::size_t>(States[Index].Primary ? Index : States[Index].SameAs);
    const std::uint32_t At = ValueAt[static_cast<std::size_t>(Current) * States.size() + Slot];
    if (At == 0) return {};
    // The value runs from just after its opening quote to the next quote of the same kind.
    const char* Raw = Packet + RowStart[static_cast<std::size_t>(Current)] + At;
    const char* End = static_cast<const char*>(
        std::memchr(Raw, Raw[-1], static_cast<std::size_t>(Packet + PacketSize - Raw)));
    const std::size_t Length = static_cast<std::size_t>(End - Raw);
    TFieldState& State = States[Index];
    std::string_view Text(Raw, Length);
    if (NeedsDecoding(Raw, Length, Utf8)) {
      State.Decoded.clear();
      AppendDecoded(Text, Utf8, State.Decoded);
      Text = State.Decoded;
    }
    if (State.Kind == TKind::Text || Text.empty()) return Text;

    std::string& Out = State.Typed;
    Out.clear();
    switch (State.Kind) {
      case TKind::Text:
        break;
      case TKind::Nested:
        return {};
      case TKind::Integer:
        if (!IsInteger(Text)) BadValue(Index, Text, "um n\u00famero inteiro");
        return Text;
      case TKind::Float: {
        double Number;
        if (!ParseDouble(Text, Number)) BadValue(Index, Text, "um n\u00famero");
        AppendGeneral(Number, State.Precision, Out);
        return Out;
      }
      case TKind::Decimal:
        if (!AppendDecimal(Text, Out)) {
          double Number;
          if (!ParseDouble(Text, Number)) BadValue(Index, Text, "um n\u00famero decimal");
          Out.clear();
          AppendGeneral(Number, State.Precision, Out);
        }
        return Out;
      case TKind::Date: {
        TDateParts Date;
        if (!ParseDate(Text, Date)) BadValue(Index, Text, "uma data no formato AAAAMMDD");
        AppendDate(Date, Out);
        return Out;
      }
      case TKind::Time: {
        TTimeParts Time;
        if (!ParseTime(Text, Time)) BadValue(Index, Text, "uma hora no formato HH:MM:SSmmm");
        AppendTime(Time, Out);
        return Out;
      }
      case TKind::DateTime: {
        TDateParts Date;
        TTimeParts Time;
        const std::size_t T = Text.find('T');
        if (!ParseDate(Text.substr(0, T), Date) ||
            (T != std::string_view::npos && !ParseTime(Text.substr(T + 1), Time)))
          BadValue(Index, Text, "uma data e hora no formato AAAAMMDD ou AAAAMMDDTHH:MM:SSmmm");
        AppendDate(Date, Out);
        if (Time.Hour || Time.Minute || Time.Second || Time.Milli) {
          Out += ' ';
          AppendTime(Time, Out);
        }
        return Out;
      }
      case TKind::Boolean:
        if (SameTextAscii(Text, "true")) return "True";
        if (SameTextAscii(Text, "false")) return "False";
        BadValue(Index, Text, "um valor l\u00f3gico (TRUE ou FALSE)");
      case TKind::Blob: {
        std::string Reason;
        if (!DecodeBase64(Text, Out, Reason))
          throw EDatabaseError("o valor do campo \"" + Cp1252ToUtf8(Fields[Index]->Name) + "\" (" +
                               Fields[Index]->Type +
                               ") n\u00e3o pode ser dado como texto: n\u00e3o \u00e9 Base64 "
                               "v\u00e1lido (" +
                               Reason + ")");
        return Out;
      }
    }
    return Text;
  }
};

std::string_view TField::AsString() { return Owner->Impl->Value(Index); }

TClientDataSet::TClientDataSet() : Impl(std::make_unique<TImpl>()) {}
TClientDataSet::~TClientDataSet() = default;

void TClientDataSet::LoadFromFile(const std::filesystem::path& FileName) {
  Impl->Reset();
  Impl->Source = PathText(FileName);
  if (FileName.empty()) ThrowRead(Impl->Source, "nenhum arquivo indicado (caminho vazio)");
  try {
    ReadWholeFile(FileName, Impl->Source, Impl->FileBytes);
  } catch (...) {
    Impl->Reset();
    throw;
  }
  Impl->Load(this, Impl->FileBytes.Data(), Impl->FileBytes.Size());
}

void TClientDataSet::LoadFromBytes(std::string Bytes, std::string_view SourceName) {
  Impl->Reset();
  Impl->Source = std::string(SourceName);
  Impl->Bytes = std::move(Bytes);
  Impl->Load(this, Impl->Bytes.data(), Impl->Bytes.size());
}

// A packet is open from its load until Close or the next load, so Open has nothing to open
// otherwise (the engine says "Missing data provider or data packet").
void TClientDataSet::Open() {
  if (Impl->Open) return;
  throw EDatabaseError(
      "o conjunto de dados n\u00e3o pode ser aberto: nenhum pacote de dados foi carregado");
}

void TClientDataSet::Close() noexcept { Impl->Reset(); }

bool TClientDataSet::Active() const noexcept { return Impl->Open; }

std::int32_t TClientDataSet::RecordCount() const noexcept {
  return Impl->Open ? Impl->RecordCount() : 0;
}

void TClientDataSet::First() noexcept { Impl->Current = 0; }

void TClientDataSet::Next() noexcept {
  if (Impl->Current < Impl->RecordCount()) ++Impl->Current;
}

bool TClientDataSet::Eof() const noexcept {
  return !Impl->Open || Impl->Current >= Impl->RecordCount();
}

std::int32_t TClientDataSet::RecNo() const noexcept { return Impl->Open ? Impl->Current : 0; }

int TClientDataSet::FieldCount() const noexcept {
  return Impl->Open ? static_cast<int>(Impl->Fields.size()) : 0;
}

TField& TClientDataSet::Fields(int Index) {
  if (Index < 0 || Index >= FieldCount())
    throw EDatabaseError("\u00edndice de campo " + std::to_string(Index) +
                         " fora do intervalo (o conjunto de dados tem " +
                         std::to_string(FieldCount()) + " campos)");
  return *Impl->Fields[static_cast<std::size_t>(Index)];
}

TField* TClientDataSet::FindField(std::string_view Name) noexcept {
  if (!Impl->Open) return nullptr;
  for (const auto& Field : Impl->Fields)
    if (SameTextAscii(Field->Name, Name)) return Field.get();
  return nullptr;
}

TField& TClientDataSet::FieldByName(std::string_view Name) {
  if (TField* Field = FindField(Name)) return *Field;
  throw EDatabaseError("campo \"" + std::string(Name) + "\" n\u00e3o encontrado");
}

}  // namespace UClientDataSet
