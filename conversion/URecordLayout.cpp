#include "URecordLayout.h"

namespace URecordLayout {

std::string PadField(std::string_view Value, std::int32_t Width) {
  const std::string_view Trimmed = TrimControls(Value);
  std::string Result;
  Result.reserve(Trimmed.size() + PaddingFor(Trimmed, Width));
  Result.append(Trimmed);
  Result.append(PaddingFor(Trimmed, Width), ' ');
  return Result;
}

}  // namespace URecordLayout
