#include "UToolkit.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QMessageBox>
#include <QWidget>
#include <chrono>

namespace UToolkit {

namespace {

// The system's boxes and dialogs.
class TSystemDialogs : public TDialogService {
 public:
  void MessageBox(TMessageKind Kind, const QString& Caption, const QString& Text) override {
    // Without a parent the box is centred on the screen and modal to the whole program.
    QMessageBox Box(Kind == TMessageKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                    Caption, Text, QMessageBox::Ok);
    Box.setTextFormat(Qt::PlainText);
    Box.setDefaultButton(QMessageBox::Ok);
    Box.setEscapeButton(QMessageBox::Ok);
    Box.setWindowModality(Qt::ApplicationModal);
    Box.exec();
  }

  std::optional<QString> FileDialog(const TFileDialogRequest& Request) override {
    const bool Save = Request.Kind == TFileDialogKind::Save;
    QFileDialog Dialog(Request.Parent);
    Dialog.setAcceptMode(Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Any name is accepted, an existing file is overwritten without a question.
    Dialog.setFileMode(QFileDialog::AnyFile);
    Dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!Request.Filter.isEmpty())
      Dialog.setNameFilter(Request.Filter);
    else if (IsPattern(Request.FileName))
      Dialog.setNameFilter(Request.FileName);
    if (!Request.FileName.isEmpty()) Dialog.selectFile(Request.FileName);
    if (Dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList Files = Dialog.selectedFiles();
    if (Files.isEmpty() || Files.first().isEmpty()) return std::nullopt;
    return QDir::toNativeSeparators(Files.first());
  }

 private:
  static bool IsPattern(const QString& Name) {
    return Name.contains(QLatin1Char('*')) || Name.contains(QLatin1Char('?'));
  }
};

TSystemDialogs SystemDialogs;
TDialogService* CurrentDialogs = &SystemDialogs;

const QObject* TerminatingForm = nullptr;
bool CursorBusy = false;

using TPumpClock = std::chrono::steady_clock;
// Input waits at most this long (plus one step) while a loop pumps through PumpDue.
constexpr auto PumpInterval = std::chrono::milliseconds(4);
TPumpClock::time_point LastPump{};

QString TitleOfProcess;

}  // namespace

QString ApplicationTitleFrom(const QString& ExecutablePath) {
  QString Title = QFileInfo(ExecutablePath).fileName();
  const qsizetype Dot = Title.indexOf(QLatin1Char('.'));
  if (Dot >= 0) Title.truncate(Dot);
  return Title.left(1) + Title.mid(1).toLower();
}

QString ApplicationTitle() {
  if (TitleOfProcess.isEmpty() && QCoreApplication::instance())
    TitleOfProcess = ApplicationTitleFrom(QCoreApplication::applicationFilePath());
  return TitleOfProcess;
}

QString ErrorReportText(const QString& Message) {
  if (!Message.isEmpty() && Message.back().unicode() > u'.') return Message + QLatin1Char('.');
  return Message;
}

void HandleException(const std::exception_ptr& Error) {
  QString Message;
  try {
    std::rethrow_exception(Error);
  } catch (const EAbort&) {
    return;
  } catch (const std::exception& Failure) {
    Message = QString::fromUtf8(Failure.what());
  } catch (...) {
    Message = QStringLiteral("Exceção desconhecida");
  }
  if (Terminated()) return;
  DialogService().MessageBox(TMessageKind::Error, ApplicationTitle(), ErrorReportText(Message));
}

TDialogService& DialogService() { return *CurrentDialogs; }

void SetDialogService(TDialogService* Service) {
  CurrentDialogs = Service ? Service : &SystemDialogs;
}

void NoteTerminating(const QObject* Form) { TerminatingForm = Form; }

void ForgetTerminating(const QObject* Form) {
  if (TerminatingForm == Form) TerminatingForm = nullptr;
}

bool Terminated() noexcept { return TerminatingForm != nullptr; }

void ShowMessage(const QString& Text) {
  if (Terminated()) return;
  DialogService().MessageBox(TMessageKind::Plain, ApplicationTitle(), Text);
}

bool PumpDue() noexcept {
  const TPumpClock::time_point Now = TPumpClock::now();
  if (Now - LastPump < PumpInterval) return false;
  LastPump = Now;
  return true;
}

void ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void SetBusyCursor(bool Busy) {
  if (Busy == CursorBusy) return;
  CursorBusy = Busy;
  if (Busy)
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QGuiApplication::restoreOverrideCursor();
}

bool BusyCursor() noexcept { return CursorBusy; }

QFont FontOf(const QString& Family, int PixelHeight) {
  // Where the family is missing, the sans-serif faces whose widths come nearest to it at
  // small sizes are tried first, then whatever sans-serif face the system offers.
  const QStringList Candidates = {Family, QStringLiteral("Microsoft Sans Serif"),
                                  QStringLiteral("DejaVu Sans Condensed"),
                                  QStringLiteral("Liberation Sans"), QStringLiteral("Arial")};
  QFont Font;
  Font.setStyleHint(QFont::SansSerif);
  Font.setFamily(QStringLiteral("Sans Serif"));
  for (const QString& Candidate : Candidates) {
    if (QFontDatabase::hasFamily(Candidate)) {
      Font.setFamily(Candidate);
      break;
    }
  }
  Font.setPixelSize(PixelHeight);
  return Font;
}

std::filesystem::path FilePath(const QString& Text) {
#ifdef _WIN32
  return std::filesystem::path(Text.toStdWString());
#else
  return std::filesystem::path(QFile::encodeName(Text).toStdString());
#endif
}

TApplication::TApplication(int& Argc, char** Argv) : QApplication(Argc, Argv) {
  ApplicationTitle();
}

bool TApplication::notify(QObject* Receiver, QEvent* Event) {
  try {
    return QApplication::notify(Receiver, Event);
  } catch (...) {
    HandleException(std::current_exception());
    return false;
  }
}

int TApplication::Run(QWidget& MainForm) {
  MainForm.show();
  // Without a window manager showing alone does not make the window active.
  MainForm.activateWindow();
  return exec();
}

}  // namespace UToolkit
