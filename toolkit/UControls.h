// The controls a form is built from, over Qt widgets: the form itself, panels that align to
// their parent, labels that size to their text, edits and buttons with the keyboard of a
// dialog, a progress bar that keeps its numbers apart from what it shows, and file dialogs.
#pragma once

#include <QFrame>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QString>
#include <QToolButton>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "UAlgumasFuncoes.h"
#include "UToolkit.h"

namespace UToolkit {

class TBitBtn;

// A bitmap of Cells cells side by side (enabled, disabled, ...), in which the colour of the
// bottom-left pixel is drawn transparent.
QIcon GlyphIcon(const QImage& Glyph, int Cells);

class TForm : public QWidget {
 public:
  enum class TPosition { Designed, DesktopCenter };

  TForm();
  ~TForm() override;

  TPosition Position = TPosition::Designed;

  // Enter in an edit presses it while it is enabled.
  TBitBtn* DefaultButton() const;
  void PressDefaultButton();

  // Calls an event handler. A close request that arrives while the handler pumps events is
  // noted and taken once the outermost handler has returned; an exception that leaves the
  // handler goes to the error report.
  void CallHandler(const std::function<void()>& Handler);
  bool CloseNoted() const noexcept { return ClosePending; }

 protected:
  void closeEvent(QCloseEvent* Event) override;
  void showEvent(QShowEvent* Event) override;

 private:
  void PlaceOnDesktop();

  int HandlerDepth = 0;
  bool ClosePending = false;
  bool Shown = false;
};

// A panel with a raised bevel of one pixel. Aligned, it follows its parent's client area
// (inside a panel's bevel): filling it, or as a strip at its bottom that keeps its height.
class TPanel : public QFrame {
 public:
  enum class TAlign { None, Client, Bottom };

  TPanel();
  void SetAlign(TAlign Value);
  void Realign();

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  TAlign Align = TAlign::None;
  QWidget* WatchedParent = nullptr;
};

// A label as wide and high as its text.
class TLabel : public QLabel {
 public:
  TLabel();
  void SetCaption(const QString& Caption);
};

// Enter, without Shift, Ctrl or Alt, presses the form's default button.
class TEdit : public QLineEdit {
 protected:
  void keyPressEvent(QKeyEvent* Event) override;
};

// A raised button that shows only its glyph and never takes the focus.
class TSpeedButton : public QToolButton {
 public:
  TSpeedButton();
  void SetGlyph(const QImage& Glyph, int Cells = 2);
};

// A push button with a two-cell glyph. Enter and Space press it while it has the focus; its
// access key (the letter after "&" in its caption) presses it from anywhere in the window
// with Alt, and with no modifier while any button has the focus.
class TBitBtn : public QPushButton {
 public:
  enum class TKind { Custom, Close };

  TBitBtn();
  void SetGlyph(const QImage& Glyph, int Cells = 2);
  // Close: the caption "&Close", the door picture, and a click closes the window.
  void SetKind(TKind Kind);

 protected:
  bool event(QEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;

 private:
  QChar AccessKey() const;
};

// The numbers the run steps and the estimator reads live in the core's progress bar; the
// widget is told them only when what it shows would change (Sync), because setting the
// widget's value costs far more than a step.
class TProgressBar : public QProgressBar, public UAlgumasFuncoes::TProgressBar {
 public:
  TProgressBar();
  void Sync();

 protected:
  void resizeEvent(QResizeEvent* Event) override;
  void changeEvent(QEvent* Event) override;

 private:
  std::int64_t FillLevel() const noexcept;
  void MeasureFill();

  std::int32_t ShownMax = 0;
  std::int32_t ShownMin = 0;
  std::int64_t ShownLevel = -1;
  int FillWidth = 1;
};

// A file dialog's settings. Execute shows it modally; a confirmed choice becomes its
// FileName (the full path) and is shown at the next opening; a cancel keeps it.
class TFileDialog {
 public:
  explicit TFileDialog(TFileDialogKind Kind) : Kind(Kind) {}
  bool Execute(QWidget* Parent);

  QString FileName;
  QString Filter;

 private:
  TFileDialogKind Kind;
};

class TOpenDialog : public TFileDialog {
 public:
  TOpenDialog() : TFileDialog(TFileDialogKind::Open) {}
};

class TSaveDialog : public TFileDialog {
 public:
  TSaveDialog() : TFileDialog(TFileDialogKind::Save) {}
};

}  // namespace UToolkit
