// One conversion run: the output file prepared, the packet loaded, every record written as
// one fixed-width line, and the host given back what the run took on every way out.
//
// The host is what the run sees of its surroundings: the two paths, the progress bar, the
// status line, the busy state, the event pump and the message box. The window and the
// command line each implement it, so both write the same bytes and leave the same files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "UAlgumasFuncoes.h"
#include "UClientDataSet.h"
#include "UTextFile.h"

namespace UConversionRun {

inline constexpr const char* LoadFailureMessage = "Problemas na Base ";
inline constexpr const char* RecordFailureMessage =
    "S\u00f3 \u00e9 poss\u00edvel converter XML Gerado pelo QUILAR";
inline constexpr const char* SameFileMessage =
    "O arquivo de sa\u00edda n\u00e3o pode ser o mesmo arquivo de entrada.";

class TConversionHost {
 public:
  virtual ~TConversionHost() = default;
  // The paths as they stand when the run asks for them; each is asked once per run.
  virtual std::filesystem::path OutputPath() = 0;
  virtual std::filesystem::path InputPath() = 0;
  // The progress numbers the run sets and steps, and that the estimator reads.
  virtual UAlgumasFuncoes::TProgressBar& ProgressBar() = 0;
  // The progress numbers have changed: show them if what is shown differs.
  virtual void ProgressChanged() = 0;
  virtual void SetStatusText(const std::string& Text) = 0;
  // True: busy cursor and OK disabled. False: normal cursor and OK enabled.
  virtual void SetBusy(bool Busy) = 0;
  // Handles every pending event, then returns without waiting.
  virtual void ProcessMessages() = 0;
  // The plain message box (UTF-8 text); returns once it has been dismissed.
  virtual void ShowMessage(const std::string& Text) = 0;
  // What lies behind a message just shown (file, record, field, reason), for a host that
  // can tell more than the fixed text. The window ignores it.
  virtual void ReportCause(const std::string& /*Cause*/) {}
};

enum class TRunOutcome { Converted, SameFile, LoadFailed, RecordFailed };

struct TRunResult {
  TRunOutcome Outcome = TRunOutcome::Converted;
  std::int32_t RecordsWritten = 0;
};

// The whole run. Errors the run does not answer with one of its messages (the output
// cannot be created or opened, a failing close, a failure while stepping the progress or
// pumping events) leave it as exceptions after the host has been given back its state.
TRunResult RunConversion(TConversionHost& Host, UClientDataSet::TClientDataSet& DataSet,
                         UTextFile::TTextFile& Output);

// True when both paths name one existing file, through any spelling or link.
bool SameFile(const std::filesystem::path& A, const std::filesystem::path& B) noexcept;

}  // namespace UConversionRun
