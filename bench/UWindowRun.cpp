// tradulo-windowrun: one conversion run of the real window, for the benchmark.
//
//   QT_QPA_PLATFORM=offscreen tradulo-windowrun ENTRADA SAIDA
//
// Builds the program's window, shows it, fills the two paths and presses OK, timing from the
// click to the end of the run's clean-up (the click returns once the handler has). Prints
// "window_seconds=S" on stdout. A message box, which a benchmark cannot dismiss, is answered
// at once and makes the exit status 1, as does a window not given back at the end.
#include <QElapsedTimer>
#include <QString>
#include <cstdio>
#include <optional>

#include "UToolkit.h"
#include "UTradulo.h"

namespace {

// Answers every box at once and remembers what it said.
class TRecordingDialogs final : public UToolkit::TDialogService {
 public:
  void MessageBox(UToolkit::TMessageKind /*Kind*/, const QString& /*Caption*/,
                  const QString& Text) override {
    std::fprintf(stderr, "tradulo-windowrun: mensagem: %s\n", Text.toUtf8().constData());
    ++MessageCount;
  }
  std::optional<QString> FileDialog(const UToolkit::TFileDialogRequest& /*Request*/) override {
    return std::nullopt;
  }
  int MessageCount = 0;
};

}  // namespace

int main(int ArgCount, char** Args) {
  if (ArgCount != 3) {
    std::fprintf(stderr, "Uso: tradulo-windowrun ENTRADA SAIDA\n");
    return 2;
  }
  UToolkit::TApplication Application(ArgCount, Args);
  TRecordingDialogs Dialogs;
  UToolkit::SetDialogService(&Dialogs);

  UTradulo::TFrmTradulo Form;
  UTradulo::FrmTradulo = &Form;
  Form.show();
  QApplication::processEvents();
  Form.Edit1.setText(QString::fromLocal8Bit(Args[1]));
  Form.Edit2.setText(QString::fromLocal8Bit(Args[2]));
  QApplication::processEvents();

  QElapsedTimer Clock;
  Clock.start();
  Form.BitBtn2.click();
  const qint64 Nanoseconds = Clock.nsecsElapsed();

  const bool GivenBack = Form.BitBtn2.isEnabled() && Form.ProgressBar1.Position == 0;
  std::printf("window_seconds=%.6f\n", static_cast<double>(Nanoseconds) / 1e9);
  std::printf("window_records=%d\n", Form.ProgressBar1.Max);
  std::fflush(stdout);
  UToolkit::SetDialogService(nullptr);
  if (!GivenBack) std::fprintf(stderr, "tradulo-windowrun: a janela não foi devolvida\n");
  return Dialogs.MessageCount == 0 && GivenBack ? 0 : 1;
}
