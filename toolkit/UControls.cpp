#include "UControls.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPixmap>
#include <QScreen>
#include <QShortcutEvent>
#include <QShowEvent>
#include <QStyle>
#include <QStyleOptionProgressBar>
#include <algorithm>

namespace UToolkit {

namespace {

#include "images/Close.xpm"

bool IsEnterKey(const QKeyEvent* Event) {
  return Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter;
}

Qt::KeyboardModifiers HeldModifiers(const QKeyEvent* Event) {
  return Event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
}

}  // namespace

QIcon GlyphIcon(const QImage& Glyph, int Cells) {
  QImage Image = Glyph.convertToFormat(QImage::Format_ARGB32);
  if (Image.isNull() || Cells < 1) return {};
  const QRgb Transparent = Image.pixel(0, Image.height() - 1);
  for (int Y = 0; Y < Image.height(); ++Y)
    for (int X = 0; X < Image.width(); ++X)
      if (Image.pixel(X, Y) == Transparent) Image.setPixel(X, Y, qRgba(0, 0, 0, 0));
  const int CellWidth = Image.width() / Cells;
  QIcon Icon;
  Icon.addPixmap(QPixmap::fromImage(Image.copy(0, 0, CellWidth, Image.height())), QIcon::Normal);
  if (Cells > 1)
    Icon.addPixmap(QPixmap::fromImage(Image.copy(CellWidth, 0, CellWidth, Image.height())),
                   QIcon::Disabled);
  return Icon;
}

// --- TForm

TForm::TForm() = default;

TForm::~TForm() { ForgetTerminating(this); }

TBitBtn* TForm::DefaultButton() const {
  for (QPushButton* Button : findChildren<QPushButton*>())
    if (Button->isDefault())
      if (auto* Candidate = dynamic_cast<TBitBtn*>(Button)) return Candidate;
  return nullptr;
}

void TForm::PressDefaultButton() {
  TBitBtn* Button = DefaultButton();
  if (Button && Button->isEnabled()) Button->click();
}

void TForm::CallHandler(const std::function<void()>& Handler) {
  ++HandlerDepth;
  try {
    Handler();
  } catch (...) {
    HandleException(std::current_exception());
  }
  --HandlerDepth;
  if (HandlerDepth == 0 && ClosePending) {
    ClosePending = false;
    close();
  }
}

void TForm::closeEvent(QCloseEvent* Event) {
  // Qt would hide the window and let the handler run on unseen; the handler finishes first.
  if (HandlerDepth > 0) {
    ClosePending = true;
    NoteTerminating(this);
    Event->ignore();
    return;
  }
  QWidget::closeEvent(Event);
}

void TForm::showEvent(QShowEvent* Event) {
  QWidget::showEvent(Event);
  if (Shown || Event->spontaneous()) return;
  Shown = true;
  if (Position == TPosition::DesktopCenter) PlaceOnDesktop();
  if (!focusWidget()) focusNextPrevChild(true);
}

void TForm::PlaceOnDesktop() {
  // The area of all monitors together; its own offset is not added.
  const QRect Desktop = screen()->virtualGeometry();
  const QSize Outer = frameGeometry().size();
  move((Desktop.width() - Outer.width()) / 2, (Desktop.height() - Outer.height()) / 2);
}

// --- TPanel

TPanel::TPanel() {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(1);
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
}

void TPanel::SetAlign(TAlign Value) {
  Align = Value;
  QWidget* Parent = parentWidget();
  if (Parent != WatchedParent) {
    if (WatchedParent) WatchedParent->removeEventFilter(this);
    WatchedParent = Parent;
    if (WatchedParent) WatchedParent->installEventFilter(this);
  }
  Realign();
}

void TPanel::Realign() {
  if (Align == TAlign::None || !WatchedParent) return;
  QRect Client = WatchedParent->rect();
  if (const auto* Frame = qobject_cast<const QFrame*>(WatchedParent))
    Client = Frame->contentsRect();
  if (Align == TAlign::Bottom) Client.setTop(Client.bottom() + 1 - height());
  setGeometry(Client);
}

bool TPanel::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == WatchedParent && Event->type() == QEvent::Resize) Realign();
  return false;
}

// --- TLabel

TLabel::TLabel() { setTextFormat(Qt::PlainText); }

void TLabel::SetCaption(const QString& Caption) {
  if (Caption == text()) return;
  setText(Caption);
  adjustSize();
}

// --- TEdit

void TEdit::keyPressEvent(QKeyEvent* Event) {
  if (IsEnterKey(Event) && HeldModifiers(Event) == Qt::NoModifier) {
    if (auto* Form = dynamic_cast<TForm*>(window()); Form && Form->DefaultButton()) {
      Event->accept();
      Form->PressDefaultButton();
      return;
    }
  }
  QLineEdit::keyPressEvent(Event);
}

// --- TSpeedButton

TSpeedButton::TSpeedButton() {
  setFocusPolicy(Qt::NoFocus);
  setAutoRaise(false);
  setToolButtonStyle(Qt::ToolButtonIconOnly);
}

void TSpeedButton::SetGlyph(const QImage& Glyph, int Cells) {
  setIcon(GlyphIcon(Glyph, Cells));
  setIconSize(QSize(Glyph.width() / std::max(Cells, 1), Glyph.height()));
}

// --- TBitBtn

TBitBtn::TBitBtn() = default;

void TBitBtn::SetGlyph(const QImage& Glyph, int Cells) {
  setIcon(GlyphIcon(Glyph, Cells));
  setIconSize(QSize(Glyph.width() / std::max(Cells, 1), Glyph.height()));
}

void TBitBtn::SetKind(TKind Kind) {
  if (Kind != TKind::Close) return;
  setText(QStringLiteral("&Close"));
  SetGlyph(QImage(CloseXpm));
  connect(this, &QAbstractButton::clicked, this, [this] { window()->close(); });
}

QChar TBitBtn::AccessKey() const {
  const QString Caption = text();
  for (qsizetype Index = 0; Index + 1 < Caption.size(); ++Index) {
    if (Caption[Index] != QLatin1Char('&')) continue;
    if (Caption[Index + 1] == QLatin1Char('&')) {
      ++Index;
      continue;
    }
    return Caption[Index + 1].toUpper();
  }
  return {};
}

bool TBitBtn::event(QEvent* Event) {
  // Qt presses a button through its access key with an animated click that ends 100 ms
  // later; the press is taken at once instead.
  if (Event->type() == QEvent::Shortcut && !static_cast<QShortcutEvent*>(Event)->isAmbiguous()) {
    click();
    return true;
  }
  return QPushButton::event(Event);
}

void TBitBtn::keyPressEvent(QKeyEvent* Event) {
  const Qt::KeyboardModifiers Held = HeldModifiers(Event);
  if (IsEnterKey(Event) && Held == Qt::NoModifier) {
    Event->accept();
    click();
    return;
  }
  // A letter alone, while a button has the focus, works as the access key it marks.
  const QString Typed = Event->text();
  if (Typed.size() == 1 && Typed[0].isLetterOrNumber() &&
      !(Held & (Qt::ControlModifier | Qt::AltModifier))) {
    const QChar Key = Typed[0].toUpper();
    for (QPushButton* Button : window()->findChildren<QPushButton*>()) {
      auto* Candidate = dynamic_cast<TBitBtn*>(Button);
      if (Candidate && Candidate->isVisible() && Candidate->isEnabled() &&
          Candidate->AccessKey() == Key) {
        Event->accept();
        Candidate->click();
        return;
      }
    }
  }
  QPushButton::keyPressEvent(Event);
}

// --- TProgressBar

TProgressBar::TProgressBar() {
  setTextVisible(false);
  setFocusPolicy(Qt::NoFocus);
  setRange(Min, Max);
  setValue(Position);
  ShownMin = Min;
  ShownMax = Max;
  MeasureFill();
  ShownLevel = FillLevel();
}

std::int64_t TProgressBar::FillLevel() const noexcept {
  const std::int64_t Span = std::int64_t(Max) - Min;
  if (Span <= 0) return 0;
  const std::int64_t Done = std::clamp<std::int64_t>(std::int64_t(Position) - Min, 0, Span);
  return Done * FillWidth / Span;
}

void TProgressBar::Sync() {
  if (Max != ShownMax || Min != ShownMin) {
    setRange(Min, Max);
    ShownMin = Min;
    ShownMax = Max;
    ShownLevel = -1;
  }
  // The fill is drawn in whole pixels of the contents' width: a step that moves no pixel
  // is not shown. At either end the widget's value is made exact.
  const std::int64_t Level = FillLevel();
  const bool AtEnd = Position <= Min || Position >= Max;
  if (Level != ShownLevel || (AtEnd && value() != Position)) {
    setValue(Position);
    ShownLevel = Level;
  }
}

void TProgressBar::MeasureFill() {
  QStyleOptionProgressBar Option;
  initStyleOption(&Option);
  FillWidth =
      std::max(1, style()->subElementRect(QStyle::SE_ProgressBarContents, &Option, this).width());
}

void TProgressBar::resizeEvent(QResizeEvent* Event) {
  QProgressBar::resizeEvent(Event);
  MeasureFill();
  ShownLevel = -1;
  Sync();
}

void TProgressBar::changeEvent(QEvent* Event) {
  QProgressBar::changeEvent(Event);
  if (Event->type() == QEvent::StyleChange) {
    MeasureFill();
    ShownLevel = -1;
    Sync();
  }
}

// --- TFileDialog

bool TFileDialog::Execute(QWidget* Parent) {
  TFileDialogRequest Request;
  Request.Kind = Kind;
  Request.FileName = FileName;
  Request.Filter = Filter;
  Request.Parent = Parent;
  const std::optional<QString> Chosen = DialogService().FileDialog(Request);
  if (!Chosen) return false;
  FileName = *Chosen;
  return true;
}

}  // namespace UToolkit
