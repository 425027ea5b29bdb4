// libFuzzer target: the packet reader over arbitrary bytes.
//
// A packet either loads or is refused with EDataSetError. A loaded one is walked record by
// record with every field read as text, and its look-ups are held to what they promise:
// case-blind, the first field of a name counting, FindField and FieldByName agreeing.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "UClientDataSet.h"

using UClientDataSet::EDatabaseError;
using UClientDataSet::EDataSetError;
using UClientDataSet::TClientDataSet;
using UClientDataSet::TField;

namespace {

void Check(bool Condition, const char* What) {
  if (Condition) return;
  std::fprintf(stderr, "reader invariant broken: %s\n", What);
  std::abort();
}

std::string UpperAscii(std::string_view Text) {
  std::string Upper(Text);
  for (char& C : Upper)
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
  return Upper;
}

bool SameNameAscii(std::string_view A, std::string_view B) {
  return A.size() == B.size() && UpperAscii(A) == UpperAscii(B);
}

// Reads every byte, so that a view into freed or foreign memory is caught by the sanitizer.
unsigned Touch(std::string_view Text) {
  unsigned Sum = 0;
  for (char C : Text) Sum += static_cast<unsigned char>(C);
  return Sum;
}

const char* const ProbeNames[] = {"CO_UNIDADE", "no_fantasia", "Nu_Cpf", "CO_DUMARE", "",
                                  "RowState",   "ROW",         "FIELD",  "A"};

void CheckLookUps(TClientDataSet& DataSet) {
  const int Count = DataSet.FieldCount();
  for (int Index = 0; Index < Count; ++Index) {
    const std::string Name = DataSet.Fields(Index).FieldName();
    TField* Found = DataSet.FindField(UpperAscii(Name));
    Check(Found != nullptr, "a declared field is not found by its name in upper case");
    int FoundIndex = 0;
    while (FoundIndex < Count && &DataSet.Fields(FoundIndex) != Found) ++FoundIndex;
    Check(FoundIndex <= Index, "FindField returned a field that is not one of the dataset's");
    for (int Earlier = 0; Earlier < FoundIndex; ++Earlier)
      Check(!SameNameAscii(DataSet.Fields(Earlier).FieldName(), Name),
            "FindField skipped the first field of a name");
  }
  for (const char* Probe : ProbeNames) {
    TField* Found = DataSet.FindField(Probe);
    bool Thrown = false;
    try {
      Check(&DataSet.FieldByName(Probe) == Found, "FieldByName and FindField disagree");
    } catch (const EDatabaseError&) {
      Thrown = true;
    }
    Check(Thrown == (Found == nullptr), "FieldByName throws although FindField finds");
  }
}

void WalkRecords(TClientDataSet& DataSet) {
  const std::int32_t Count = DataSet.RecordCount();
  Check(Count >= 0, "negative record count");
  std::int32_t Visited = 0;
  volatile unsigned Sink = 0;
  std::vector<std::string_view> Values;
  for (DataSet.First(); !DataSet.Eof(); DataSet.Next()) {
    Check(DataSet.RecNo() == Visited, "RecNo does not count the records visited");
    Check(++Visited <= Count, "more records visited than counted");
    // Every view stays valid until the next move, whatever other field is read meanwhile.
    Values.clear();
    for (int Index = 0; Index < DataSet.FieldCount(); ++Index) {
      try {
        Values.push_back(DataSet.Fields(Index).AsString());
      } catch (const EDatabaseError&) {
      }
    }
    for (std::string_view Value : Values) Sink = Sink + Touch(Value);
  }
  Check(Visited == Count, "fewer records visited than counted");
  Check(DataSet.RecNo() == Count, "RecNo at the end is not the record count");
  DataSet.Next();
  Check(DataSet.Eof(), "a move past the end leaves the end");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  TClientDataSet DataSet;
  try {
    try {
      DataSet.LoadFromBytes(std::string(reinterpret_cast<const char*>(Data), Size), "fuzz.xml");
    } catch (const EDataSetError& Error) {
      Check(*Error.what() != '\0', "a load failure without a message");
      return 0;
    }
    DataSet.Open();
    Check(DataSet.Active(), "a loaded packet is not open");
    WalkRecords(DataSet);
    CheckLookUps(DataSet);
    // A later load drops everything of the earlier packet.
    DataSet.LoadFromBytes(
        "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS><FIELD attrname=\"A\" fieldtype=\"string\" "
        "WIDTH=\"3\"/></FIELDS><PARAMS/></METADATA><ROWDATA><ROW A=\"xyz\"/></ROWDATA>"
        "</DATAPACKET>");
    Check(DataSet.RecordCount() == 1 && DataSet.FieldCount() == 1, "a reload keeps old contents");
    DataSet.First();
    Check(DataSet.FieldByName("a").AsString() == "xyz", "a reload reads the wrong value");
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "unexpected exception out of the reader: %s\n", Error.what());
    std::abort();
  }
  return 0;
}
