// The application side of the toolkit layer over Qt: the application object with its title,
// error report and event pump, the message boxes and file dialogs (behind a seam that tests
// replace), the busy cursor and the window font.
#pragma once

#include <QApplication>
#include <QFont>
#include <QString>
#include <exception>
#include <filesystem>
#include <optional>

class QWidget;

namespace UToolkit {

// The silent exception: a handler that throws it ends without any message.
class EAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation aborted"; }
};

// The file name of the executable without its folder, cut before its first ".", every
// character after the first in lower case: "/opt/Ferramenta.Beta.exe" gives "Ferramenta".
QString ApplicationTitleFrom(const QString& ExecutablePath);
// The title of the running program, the caption of every message box.
QString ApplicationTitle();

// The text the error report shows for an exception's message: a "." is appended when the
// last character's code lies above that of "."; an empty message stays empty.
QString ErrorReportText(const QString& Message);
// The error report: EAbort is dropped, anything else is shown in a box with the stop icon.
void HandleException(const std::exception_ptr& Error);

// The message boxes and file dialogs go through this service. The default one shows the
// system's; tests install one that answers in advance.
enum class TMessageKind { Plain, Error };
enum class TFileDialogKind { Open, Save };

struct TFileDialogRequest {
  TFileDialogKind Kind = TFileDialogKind::Open;
  QString FileName;  // shown as the initial name; a full path after a confirmed choice
  QString Filter;    // empty: no filter
  QWidget* Parent = nullptr;
};

class TDialogService {
 public:
  virtual ~TDialogService() = default;
  // Returns once the box has been dismissed.
  virtual void MessageBox(TMessageKind Kind, const QString& Caption, const QString& Text) = 0;
  // The confirmed full path, or nothing when cancelled or not shown.
  virtual std::optional<QString> FileDialog(const TFileDialogRequest& Request) = 0;
};

TDialogService& DialogService();
// nullptr puts the system's boxes and dialogs back.
void SetDialogService(TDialogService* Service);

// The end of the program has been asked for: a form noted a close request that it takes
// once its running handler has returned. Cleared when that form is destroyed.
void NoteTerminating(const QObject* Form);
void ForgetTerminating(const QObject* Form);
bool Terminated() noexcept;

// The plain message box: the text, one OK button, no icon, the application title as caption.
// Once the end has been asked for, a box closes at once without waiting; so does the error
// report.
void ShowMessage(const QString& Text);

// The event pump. PumpDue is the cheap check a loop makes after every step: true when a few
// milliseconds have passed since the last pump, so that input is still handled in time.
// ProcessMessages handles every pending event, then returns without waiting.
bool PumpDue() noexcept;
void ProcessMessages();

// The application-wide busy cursor; setting the same state twice changes nothing.
void SetBusyCursor(bool Busy);
bool BusyCursor() noexcept;

// The font of the given family and pixel height, or the nearest sans-serif font at that
// height when the family is not installed.
QFont FontOf(const QString& Family, int PixelHeight);

// A path typed or chosen in the window, in the file system's encoding.
std::filesystem::path FilePath(const QString& Text);

// The application object. Exceptions that leave an event handler are caught where the event
// was dispatched and handed to the error report; the event loop then goes on.
class TApplication : public QApplication {
 public:
  TApplication(int& Argc, char** Argv);
  bool notify(QObject* Receiver, QEvent* Event) override;
  // Shows the main form, makes it the active window and runs the event loop until the end.
  int Run(QWidget& MainForm);
};

}  // namespace UToolkit
