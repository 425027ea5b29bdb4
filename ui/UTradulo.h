// The program's one window: the input path chosen through an open dialog, the output path
// typed or chosen through a save dialog, the progress of a run with its remaining-time
// estimate, OK, which runs the conversion, and Close.
#pragma once

#include <QIcon>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "UClientDataSet.h"
#include "UControls.h"
#include "UConversionRun.h"

namespace UTradulo {

class TFrmTradulo : public UToolkit::TForm, public UConversionRun::TConversionHost {
 public:
  TFrmTradulo();
  ~TFrmTradulo() override;

  UToolkit::TPanel Panel1;
  UToolkit::TLabel Label1;
  UToolkit::TEdit Edit1;
  UToolkit::TLabel Label2;
  UToolkit::TEdit Edit2;
  UToolkit::TSpeedButton SpeedButton1;
  UToolkit::TSpeedButton SpeedButton2;
  UToolkit::TPanel Panel2;
  UToolkit::TBitBtn BitBtn1;
  UToolkit::TOpenDialog OpenDialog1;
  UToolkit::TProgressBar ProgressBar1;
  UToolkit::TLabel Label3;
  UToolkit::TSaveDialog SaveDialog1;
  UToolkit::TBitBtn BitBtn2;
  UClientDataSet::TClientDataSet ClientDataSet1;

  // Browse for the input file: a confirmed choice becomes Edit1's text.
  void SpeedButton1Click(QObject* Sender);
  // Browse for the output file: a confirmed choice, followed by ".txt", becomes Edit2's text.
  void SpeedButton2Click(QObject* Sender);
  // The conversion run.
  void BitBtn2Click(QObject* Sender);

  std::string PadField(std::string_view Value, std::int32_t Width) const;

 private:
  // What the run sees of the window.
  std::filesystem::path OutputPath() override;
  std::filesystem::path InputPath() override;
  UAlgumasFuncoes::TProgressBar& ProgressBar() override;
  void ProgressChanged() override;
  void SetStatusText(const std::string& Text) override;
  void SetBusy(bool Busy) override;
  void ProcessMessages() override;
  void ShowMessage(const std::string& Text) override;

  void ShowStatus();

  // The latest status text of the run; Label3 is given it before anything can be seen.
  std::string StatusText;
  bool StatusPending = false;
};

// The window, once the entry has created it.
extern TFrmTradulo* FrmTradulo;

// The program's icon.
QIcon MainIcon();

}  // namespace UTradulo
