#include "UConversionRun.h"

#include <array>
#include <exception>
#include <system_error>

#include "URecordLayout.h"

namespace UConversionRun {

using UClientDataSet::TField;
using URecordLayout::RecordLayout;

bool SameFile(const std::filesystem::path& A, const std::filesystem::path& B) noexcept {
  if (A.empty() || B.empty()) return false;
  std::error_code Error;
  const bool Same = std::filesystem::equivalent(A, B, Error);
  return !Error && Same;
}

namespace {

std::string RecordCause(std::int32_t Record, std::string_view Field, const char* Reason) {
  std::string Cause = "registro " + std::to_string(Record + 1);
  if (!Field.empty()) Cause.append(", campo ").append(Field);
  return Cause.append(": ").append(Reason);
}

// Gives the host back what the run took: the output closed, the bar at 0, the cursor and OK.
// The state is given back even when the close fails; that failure is raised afterwards,
// unless another error is already on its way out, which then stays the one reported.
void CleanUp(TConversionHost& Host, UTextFile::TTextFile& Output, bool Unwinding) {
  std::exception_ptr CloseFailure;
  if (Output.IsOpen()) {
    try {
      Output.Close();
    } catch (...) {
      CloseFailure = std::current_exception();
    }
  }
  Host.ProgressBar().Position = 0;
  Host.ProgressChanged();
  Host.SetBusy(false);
  if (CloseFailure && !Unwinding) std::rethrow_exception(CloseFailure);
}

// Steps from the emptied output to the last record; the caller cleans up.
TRunOutcome Convert(TConversionHost& Host, UClientDataSet::TClientDataSet& DataSet,
                    UTextFile::TTextFile& Output, const std::filesystem::path& OutputPath,
                    const std::filesystem::path& InputPath, std::int32_t& RecordsWritten) {
  UTextFile::EraseFile(OutputPath);
  // An old file that could not be deleted (its folder is read-only, say) is emptied, so
  // that the new lines never follow old contents; a pipe or a device is written as it is.
  std::error_code Ignored;
  if (!UTextFile::FileExists(OutputPath) || std::filesystem::is_regular_file(OutputPath, Ignored))
    Output.Rewrite(OutputPath);
  Output.Append(OutputPath);
  Host.SetBusy(true);

  try {
    DataSet.LoadFromFile(InputPath);
    DataSet.Open();
  } catch (const std::exception& Error) {
    Host.ShowMessage(LoadFailureMessage);
    Host.ReportCause(Error.what());
    return TRunOutcome::LoadFailed;
  }

  UAlgumasFuncoes::TProgressBar& Bar = Host.ProgressBar();
  Bar.Max = DataSet.RecordCount();
  Host.ProgressChanged();

  // The fields are looked up once; a missing one fails the first record at its column,
  // after the columns before it have been written, as a look-up per record would.
  std::array<TField*, RecordLayout.size()> Fields{};
  for (std::size_t Column = 0; Column < RecordLayout.size(); ++Column)
    Fields[Column] = DataSet.FindField(RecordLayout[Column].FieldName);

  for (DataSet.First(); !DataSet.Eof(); DataSet.Next()) {
    std::size_t Column = 0;
    try {
      for (; Column < RecordLayout.size(); ++Column) {
        TField& Field =
            Fields[Column] ? *Fields[Column] : DataSet.FieldByName(RecordLayout[Column].FieldName);
        const std::string_view Value = URecordLayout::TrimControls(Field.AsString());
        Output.Write(Value);
        Output.WriteBlanks(URecordLayout::PaddingFor(Value, RecordLayout[Column].Width));
      }
      Output.WriteLn();
    } catch (const std::exception& Error) {
      Host.ShowMessage(RecordFailureMessage);
      Host.ReportCause(RecordCause(
          RecordsWritten,
          Column < RecordLayout.size() ? RecordLayout[Column].FieldName : std::string_view(),
          Error.what()));
      return TRunOutcome::RecordFailed;
    }
    ++RecordsWritten;
    Bar.StepIt();
    Host.ProgressChanged();
    Host.SetStatusText(UAlgumasFuncoes::ProgressRemainingTime(&Bar));
    Host.ProcessMessages();
  }
  return TRunOutcome::Converted;
}

}  // namespace

TRunResult RunConversion(TConversionHost& Host, UClientDataSet::TClientDataSet& DataSet,
                         UTextFile::TTextFile& Output) {
  TRunResult Result;
  const std::filesystem::path OutputPath = Host.OutputPath();
  const std::filesystem::path InputPath = Host.InputPath();

  // An output that is the input would delete the input before it is read.
  if (SameFile(InputPath, OutputPath)) {
    Host.ShowMessage(SameFileMessage);
    std::string Cause = "\"";
    Cause.append(OutputPath.string()).append("\" e \"").append(InputPath.string());
    Host.ReportCause(Cause.append("\" s\u00e3o o mesmo arquivo"));
    Result.Outcome = TRunOutcome::SameFile;
    return Result;
  }

  try {
    Result.Outcome = Convert(Host, DataSet, Output, OutputPath, InputPath, Result.RecordsWritten);
  } catch (...) {
    CleanUp(Host, Output, true);
    throw;
  }
  CleanUp(Host, Output, false);
  return Result;
}

}  // namespace UConversionRun
