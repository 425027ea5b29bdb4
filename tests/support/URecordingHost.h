// A host for the conversion run that only records what the run tells it: the messages, their
// causes and the busy state. The fault suite and the conversion fuzzer drive the run with it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "UConversionRun.h"

namespace UTestSupport {

class TRecordingHost : public UConversionRun::TConversionHost {
 public:
  std::filesystem::path Input, Output;
  UAlgumasFuncoes::TProgressBar Bar;
  std::vector<std::string> Messages, Causes;
  bool Busy = false;

  std::filesystem::path OutputPath() override { return Output; }
  std::filesystem::path InputPath() override { return Input; }
  UAlgumasFuncoes::TProgressBar& ProgressBar() override { return Bar; }
  void ProgressChanged() override {}
  void SetStatusText(const std::string&) override {}
  void SetBusy(bool Value) override { Busy = Value; }
  void ProcessMessages() override {}
  void ShowMessage(const std::string& Text) override { Messages.push_back(Text); }
  void ReportCause(const std::string& Cause) override { Causes.push_back(Cause); }
};

}  // namespace UTestSupport
