// The real window, driven as a user drives it: keys, clicks, and dialogs and message boxes
// answered in advance through the toolkit's dialog service.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "UAlgumasFuncoes.h"
#include "UConversionRun.h"
#include "URecordLayout.h"
#include "UTestSupport.h"
#include "UToolkit.h"
#include "UTradulo.h"

// Readable failure output for Qt's strings.
void PrintTo(const QString& Text, std::ostream* Stream) {
  *Stream << '"' << Text.toStdString() << '"';
}

using UTestSupport::ReadBytes;
using UTestSupport::TScratchDir;
using UTestSupport::WriteBytes;
using UToolkit::TFileDialogKind;
using UToolkit::TFileDialogRequest;
using UToolkit::TMessageKind;
using UTradulo::FrmTradulo;
using UTradulo::TFrmTradulo;

namespace {

const QString Final = QStringLiteral("0 Minuto(s) 0 Segundo(s) Restante(s)");
const QString Undefined = QString::fromLatin1(UAlgumasFuncoes::UndefinedRemainingTime);

struct TShownMessage {
  TMessageKind Kind;
  QString Caption;
  QString Text;
  bool OkEnabled;  // OK's state while the box was open
};

// Answers the file dialogs from a queue and records every box instead of showing it.
class TScriptedDialogs : public UToolkit::TDialogService {
 public:
  std::vector<TShownMessage> Messages;
  std::vector<TFileDialogRequest> Requests;
  std::deque<std::optional<QString>> Answers;

  void MessageBox(TMessageKind Kind, const QString& Caption, const QString& Text) override {
    Messages.push_back({Kind, Caption, Text, FrmTradulo && FrmTradulo->BitBtn2.isEnabled()});
  }

  std::optional<QString> FileDialog(const TFileDialogRequest& Request) override {
    Requests.push_back(Request);
    if (Answers.empty()) {
      ADD_FAILURE() << "a file dialog was opened without an answer ready";
      return std::nullopt;
    }
    std::optional<QString> Answer = Answers.front();
    Answers.pop_front();
    return Answer;
  }
};

// A packet with the twelve output fields, less the one named in Without; each row gives its
// values in column order, an empty value leaving the attribute out.
std::string Packet(const std::vector<std::vector<std::string>>& Rows,
                   std::string_view Without = {}) {
  std::string Text = "<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\">";
  Text += "<METADATA><FIELDS>";
  for (const URecordLayout::TColumn& Column : URecordLayout::RecordLayout)
    if (Column.FieldName != Without)
      Text.append("<FIELD attrname=\"")
          .append(Column.FieldName)
          .append("\" fieldtype=\"string\" WIDTH=\"")
          .append(std::to_string(Column.Width + 10))
          .append("\"/>");
  Text += "</FIELDS><PARAMS/></METADATA><ROWDATA>";
  for (const std::vector<std::string>& Row : Rows) {
    Text += "<ROW";
    for (std::size_t Index = 0; Index < Row.size(); ++Index) {
      const std::string_view Name = URecordLayout::RecordLayout[Index].FieldName;
      if (!Row[Index].empty() && Name != Without)
        Text.append(" ").append(Name).append("=\"").append(Row[Index]).append("\"");
    }
    Text += "/>";
  }
  return Text + "</ROWDATA></DATAPACKET>";
}

// The line of a row whose values all fit, blank-padded column by column, with its CR LF.
std::string Line(const std::vector<std::string>& Row, std::size_t Columns = 12) {
  std::string Text;
  for (std::size_t Index = 0; Index < Columns; ++Index)
    Text.append(Row[Index])
        .append(URecordLayout::RecordLayout[Index].Width - Row[Index].size(), ' ');
  return Columns == 12 ? Text + "\r\n" : Text;
}

const std::vector<std::vector<std::string>> ThreeRows = {
    {"2700000001", "HOSPITAL SAO LUCAS", "270010", "1", "22", "333", "4444", "55555", "666666",
     "12345678000199", "12345678901", "7"},
    {"2700000002", "POSTO DE SAUDE CENTRO", "270020", "", "", "", "", "", "", "", "", ""},
    {"2700000003", "CLINICA", "270030", "7654321", "1", "2", "3", "4", "5", "99887766000155",
     "10987654321", "1234567"},
};

QString Native(const std::filesystem::path& Path) { return QString::fromStdString(Path.string()); }

// The estimator's text for the last position of a run of Count records, as a run that
// starts after a run of more than one record sees it.
QString LastTextOfRun(std::int32_t Count) {
  std::string Text;
  UAlgumasFuncoes::ResetEstimator();
  for (std::int32_t Position = 1; Position <= Count; ++Position)
    Text = UAlgumasFuncoes::RemainingTimeText(Count, 0, Position, 1);
  return QString::fromStdString(Text);
}

class TWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UAlgumasFuncoes::ResetEstimator();
    UToolkit::SetDialogService(&Dialogs);
    FrmTradulo = new TFrmTradulo;
  }

  void TearDown() override {
    delete FrmTradulo;
    UToolkit::SetDialogService(nullptr);
    UAlgumasFuncoes::SetClock(nullptr);
    UToolkit::SetBusyCursor(false);
  }

  TFrmTradulo& Form() { return *FrmTradulo; }

  void ShowActive() {
    Form().show();
    Form().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Form()));
  }

  // The run pumps events only every few milliseconds; waiting longer than that first makes
  // sure that its first record reaches the pump, where AtFirstPump then runs.
  void PressOk(const std::function<void()>& AtFirstPump = {}) {
    QTest::qWait(25);
    if (AtFirstPump) QTimer::singleShot(0, AtFirstPump);
    Form().BitBtn2.click();
  }

  void ExpectWindowGivenBack() {
    EXPECT_TRUE(Form().BitBtn2.isEnabled());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Form().ProgressBar1.Position, 0);
    EXPECT_EQ(Form().ProgressBar1.value(), 0);
  }

  TScriptedDialogs Dialogs;
  TScratchDir Scratch;
};

// --- Layout

TEST_F(TWindowTest, ControlsLieWhereTheLayoutPutsThemAndOnlyThePanelsFollowTheSize) {
  TFrmTradulo& W = Form();
  EXPECT_EQ(W.windowTitle(), QStringLiteral("Tradulo Versão 2.1 para TXT"));
  EXPECT_EQ(W.size(), QSize(444, 215));

  struct TPlace {
    QWidget* Control;
    QWidget* Parent;
    QRect Geometry;
  };
  const std::vector<TPlace> Fixed = {
      {&W.SpeedButton1, &W.Panel1, {408, 40, 23, 22}},
      {&W.SpeedButton2, &W.Panel1, {408, 104, 23, 22}},
      {&W.Edit1, &W.Panel1, {16, 40, 377, 21}},
      {&W.Edit2, &W.Panel1, {16, 104, 377, 21}},
      {&W.BitBtn1, &W.Panel2, {360, 8, 75, 25}},
      {&W.BitBtn2, &W.Panel2, {280, 8, 75, 25}},
      {&W.ProgressBar1, &W.Panel1, {6, 160, 433, 16}},
  };
  struct TLabelPlace {
    UToolkit::TLabel* Label;
    QPoint Position;
    QString Text;
  };
  const std::vector<TLabelPlace> Labels = {
      {&W.Label1, {16, 16}, QStringLiteral("Selecione o Arquivo XML")},
      {&W.Label2, {16, 83}, QStringLiteral("Salvar Como")},
      {&W.Label3, {8, 144}, QStringLiteral("Evolução do Processo")},
  };
  auto ExpectFixedControls = [&] {
    for (const TPlace& Place : Fixed) {
      EXPECT_EQ(Place.Control->parentWidget(), Place.Parent)
          << Place.Control->metaObject()->className();
      EXPECT_EQ(Place.Control->geometry(), Place.Geometry)
          << Place.Control->metaObject()->className();
    }
    for (const TLabelPlace& Place : Labels) {
      EXPECT_EQ(Place.Label->text(), Place.Text);
      EXPECT_EQ(Place.Label->pos(), Place.Position) << Place.Text.toStdString();
      EXPECT_EQ(Place.Label->size(), Place.Label->sizeHint()) << Place.Text.toStdString();
    }
  };

  W.show();
  ExpectFixedControls();
  EXPECT_EQ(W.Panel1.geometry(), QRect(0, 0, 444, 215));
  EXPECT_EQ(W.Panel2.geometry(), QRect(1, 173, 442, 41));
  // The bar's bottom rows lie over Panel2's top edge.
  EXPECT_EQ(W.Panel1.childAt(100, 174), &W.ProgressBar1);

  W.resize(600, 300);
  EXPECT_EQ(W.Panel1.geometry(), QRect(0, 0, 600, 300));
  EXPECT_EQ(W.Panel2.geometry(), QRect(1, 258, 598, 41));
  W.resize(300, 150);
  EXPECT_EQ(W.Panel1.geometry(), QRect(0, 0, 300, 150));
  EXPECT_EQ(W.Panel2.geometry(), QRect(1, 108, 298, 41));
  ExpectFixedControls();

  EXPECT_EQ(W.BitBtn1.text(), QStringLiteral("&Close"));
  EXPECT_EQ(W.BitBtn2.text(), QStringLiteral("OK"));
  EXPECT_TRUE(W.Edit1.isReadOnly());
  EXPECT_FALSE(W.Edit2.isReadOnly());
  EXPECT_FALSE(W.ProgressBar1.isTextVisible());
  EXPECT_EQ(W.ProgressBar1.focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(W.SpeedButton1.focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(W.ProgressBar1.minimum(), 0);
  EXPECT_EQ(W.ProgressBar1.maximum(), 100);
  const QFontInfo Font(W.font());
  EXPECT_EQ(Font.pixelSize(), 11);
  std::printf("window font: %s %dpx\n", qPrintable(Font.family()), Font.pixelSize());
}

TEST_F(TWindowTest, TheWindowIsCentredOnTheDesktopWhenFirstShown) {
  Form().show();
  const QRect Desktop = Form().screen()->virtualGeometry();
  const QRect Outer = Form().frameGeometry();
  EXPECT_EQ(Outer.topLeft(),
            QPoint((Desktop.width() - Outer.width()) / 2, (Desktop.height() - Outer.height()) / 2));
}

TEST_F(TWindowTest, GlyphsDrawTheirCornerColourTransparentAndHaveADisabledCell) {
  const std::vector<std::pair<QAbstractButton*, int>> Buttons = {{&Form().SpeedButton1, 16},
                                                                 {&Form().SpeedButton2, 16},
                                                                 {&Form().BitBtn1, 18},
                                                                 {&Form().BitBtn2, 18}};
  for (const auto& [Button, Size] : Buttons) {
    const QImage Enabled = Button->icon().pixmap(Size, Size, QIcon::Normal).toImage();
    const QImage Disabled = Button->icon().pixmap(Size, Size, QIcon::Disabled).toImage();
    ASSERT_EQ(Enabled.size(), QSize(Size, Size));
    EXPECT_EQ(qAlpha(Enabled.pixel(0, Size - 1)), 0);
    EXPECT_EQ(qAlpha(Disabled.pixel(0, Size - 1)), 0);
    EXPECT_NE(Enabled, Disabled);
  }
}

// --- Keyboard

TEST_F(TWindowTest, FocusStartsInEdit1AndTabGoesThroughTheEditsAndButtons) {
  ShowActive();
  TFrmTradulo& W = Form();
  EXPECT_EQ(QApplication::focusWidget(), &W.Edit1);
  const std::vector<QWidget*> Order = {&W.Edit2, &W.BitBtn1, &W.BitBtn2, &W.Edit1};
  for (QWidget* Next : Order) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Next);
  }
  for (auto Next = Order.rbegin() + 1; Next != Order.rend(); ++Next) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), *Next);
  }
}

TEST_F(TWindowTest, KeysPressOkOrCloseWhereTheyShouldAndNowhereElse) {
  enum class TTarget { Edit1, Edit2, BitBtn1, BitBtn2 };
  enum class TEffect { Nothing, Ok, Close };
  struct TKeyCase {
    const char* Name;
    TTarget Target;
    Qt::Key Key;
    Qt::KeyboardModifiers Modifiers;
    TEffect Effect;
    bool OkDisabled = false;
  };
  const std::vector<TKeyCase> Cases = {
      {"Enter in Edit1", TTarget::Edit1, Qt::Key_Enter, Qt::NoModifier, TEffect::Ok},
      {"Return in Edit2", TTarget::Edit2, Qt::Key_Return, Qt::NoModifier, TEffect::Ok},
      {"Shift+Return in Edit2", TTarget::Edit2, Qt::Key_Return, Qt::ShiftModifier,
       TEffect::Nothing},
      {"Enter in Edit1, OK disabled", TTarget::Edit1, Qt::Key_Return, Qt::NoModifier,
       TEffect::Nothing, true},
      {"Return on OK", TTarget::BitBtn2, Qt::Key_Return, Qt::NoModifier, TEffect::Ok},
      {"Return on Close", TTarget::BitBtn1, Qt::Key_Return, Qt::NoModifier, TEffect::Close},
      {"Space on OK", TTarget::BitBtn2, Qt::Key_Space, Qt::NoModifier, TEffect::Ok},
      {"Space on Close", TTarget::BitBtn1, Qt::Key_Space, Qt::NoModifier, TEffect::Close},
      {"Escape in Edit1", TTarget::Edit1, Qt::Key_Escape, Qt::NoModifier, TEffect::Nothing},
      {"Escape in Edit2", TTarget::Edit2, Qt::Key_Escape, Qt::NoModifier, TEffect::Nothing},
      {"Escape on OK", TTarget::BitBtn2, Qt::Key_Escape, Qt::NoModifier, TEffect::Nothing},
      {"Escape on Close", TTarget::BitBtn1, Qt::Key_Escape, Qt::NoModifier, TEffect::Nothing},
      {"Alt+C in Edit1", TTarget::Edit1, Qt::Key_C, Qt::AltModifier, TEffect::Close},
      {"Alt+C in Edit2", TTarget::Edit2, Qt::Key_C, Qt::AltModifier, TEffect::Close},
      {"Alt+C on OK", TTarget::BitBtn2, Qt::Key_C, Qt::AltModifier, TEffect::Close},
      {"C on OK", TTarget::BitBtn2, Qt::Key_C, Qt::NoModifier, TEffect::Close},
      {"C in Edit2", TTarget::Edit2, Qt::Key_C, Qt::NoModifier, TEffect::Nothing},
      {"C in Edit1", TTarget::Edit1, Qt::Key_C, Qt::NoModifier, TEffect::Nothing},
  };
  for (const TKeyCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    delete FrmTradulo;
    FrmTradulo = new TFrmTradulo;
    Dialogs.Messages.clear();
    ShowActive();
    TFrmTradulo& W = Form();
    QWidget* Targets[] = {&W.Edit1, &W.Edit2, &W.BitBtn1, &W.BitBtn2};
    QWidget* Target = Targets[static_cast<int>(Case.Target)];
    Target->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), Target);
    if (Case.OkDisabled) W.BitBtn2.setEnabled(false);
    QSignalSpy OkPressed(&W.BitBtn2, &QAbstractButton::clicked);
    QSignalSpy ClosePressed(&W.BitBtn1, &QAbstractButton::clicked);

    QTest::keyClick(Target, Case.Key, Case.Modifiers);

    EXPECT_EQ(OkPressed.count(), Case.Effect == TEffect::Ok ? 1 : 0);
    EXPECT_EQ(ClosePressed.count(), Case.Effect == TEffect::Close ? 1 : 0);
    EXPECT_EQ(W.isVisible(), Case.Effect != TEffect::Close);
    // OK with both paths empty: the output cannot be created, and the error report says so.
    EXPECT_EQ(Dialogs.Messages.size(), Case.Effect == TEffect::Ok ? 1u : 0u);
    // Edit1 takes no typing; Edit2 does.
    const bool TypedIntoEdit2 =
        Case.Target == TTarget::Edit2 && Case.Key == Qt::Key_C && Case.Modifiers == Qt::NoModifier;
    EXPECT_EQ(W.Edit1.text(), QString());
    EXPECT_EQ(W.Edit2.text(), TypedIntoEdit2 ? QStringLiteral("c") : QString());
  }
}

// --- Browsing

TEST_F(TWindowTest, OpenDialogPutsTheConfirmedPathInEdit1AndACancelChangesNothing) {
  Dialogs.Answers = {std::nullopt, QStringLiteral("/dados/não existe.xml"), std::nullopt};
  TFrmTradulo& W = Form();
  W.Edit2.setText(QStringLiteral("saida.txt"));

  W.SpeedButton1.click();
  ASSERT_EQ(Dialogs.Requests.size(), 1u);
  EXPECT_EQ(Dialogs.Requests[0].Kind, TFileDialogKind::Open);
  EXPECT_EQ(Dialogs.Requests[0].FileName, QStringLiteral("*.xml"));
  EXPECT_EQ(Dialogs.Requests[0].Filter, QString());
  EXPECT_EQ(W.Edit1.text(), QString());

  W.SpeedButton1.click();
  EXPECT_EQ(W.Edit1.text(), QStringLiteral("/dados/não existe.xml"));

  W.SpeedButton1.click();
  ASSERT_EQ(Dialogs.Requests.size(), 3u);
  EXPECT_EQ(Dialogs.Requests[2].FileName, QStringLiteral("/dados/não existe.xml"));
  EXPECT_EQ(W.Edit1.text(), QStringLiteral("/dados/não existe.xml"));
  EXPECT_EQ(W.Edit2.text(), QStringLiteral("saida.txt"));
  EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(TWindowTest, SaveDialogAppendsTxtToEveryConfirmedNameAndRemembersItWithout) {
  struct TChoice {
    QString Confirmed;
    QString Edit2;
  };
  const std::vector<TChoice> Choices = {
      {QStringLiteral("/dados/relatorio"), QStringLiteral("/dados/relatorio.txt")},
      {QStringLiteral("/dados/relatorio.txt"), QStringLiteral("/dados/relatorio.txt.txt")},
      {QStringLiteral("/dados/saida.xml"), QStringLiteral("/dados/saida.xml.txt")},
  };
  TFrmTradulo& W = Form();
  Dialogs.Answers = {std::nullopt};
  W.SpeedButton2.click();
  ASSERT_EQ(Dialogs.Requests.size(), 1u);
  EXPECT_EQ(Dialogs.Requests[0].Kind, TFileDialogKind::Save);
  EXPECT_EQ(Dialogs.Requests[0].FileName, QStringLiteral("*.xml"));
  EXPECT_EQ(Dialogs.Requests[0].Filter, QStringLiteral("*.txt"));
  EXPECT_EQ(W.Edit2.text(), QString());

  QString Previous = QStringLiteral("*.xml");
  for (const TChoice& Choice : Choices) {
    SCOPED_TRACE(Choice.Confirmed.toStdString());
    Dialogs.Answers = {Choice.Confirmed};
    W.SpeedButton2.click();
    EXPECT_EQ(Dialogs.Requests.back().FileName, Previous);
    EXPECT_EQ(W.Edit2.text(), Choice.Edit2);
    Previous = Choice.Confirmed;
  }

  Dialogs.Answers = {std::nullopt};
  W.SpeedButton2.click();
  EXPECT_EQ(Dialogs.Requests.back().FileName, QStringLiteral("/dados/saida.xml"));
  EXPECT_EQ(W.Edit2.text(), QStringLiteral("/dados/saida.xml.txt"));
  EXPECT_EQ(W.Edit1.text(), QString());
}

// --- The run

TEST_F(TWindowTest, OkConvertsThePacketAndGivesTheWindowBack) {
  const auto Input = Scratch / "entrada.xml";
  const auto Output = Scratch / "saida.txt";
  WriteBytes(Input, Packet(ThreeRows));
  WriteBytes(Output, "old contents that must go");
  TFrmTradulo& W = Form();
  W.show();
  W.Edit1.setText(Native(Input));
  W.Edit2.setText(Native(Output));

  struct {
    bool Seen = false;
    bool OkEnabled = true;
    Qt::CursorShape Cursor = Qt::ArrowCursor;
    std::int32_t Max = 0;
  } During;
  PressOk([&] {
    During.Seen = true;
    During.OkEnabled = W.BitBtn2.isEnabled();
    if (const QCursor* Cursor = QGuiApplication::overrideCursor()) During.Cursor = Cursor->shape();
    During.Max = W.ProgressBar1.maximum();
  });

  EXPECT_EQ(ReadBytes(Output), Line(ThreeRows[0]) + Line(ThreeRows[1]) + Line(ThreeRows[2]));
  ASSERT_TRUE(During.Seen) << "the run handled no events";
  EXPECT_FALSE(During.OkEnabled);
  EXPECT_EQ(During.Cursor, Qt::WaitCursor);
  EXPECT_EQ(During.Max, 3);
  ExpectWindowGivenBack();
  EXPECT_EQ(W.ProgressBar1.Max, 3);
  EXPECT_TRUE(Dialogs.Messages.empty());
  const QString Shown = W.Label3.text();
  EXPECT_EQ(Shown, LastTextOfRun(3));
  EXPECT_EQ(W.Label3.size(), W.Label3.sizeHint());
}

// The clock of the estimator, read first during the first record of a run: what Label3
// shows at that moment is what the run left there before it.
QString StatusAtFirstClockReading;
bool ClockRead = false;
double ProbingClock() {
  if (!ClockRead && FrmTradulo) {
    ClockRead = true;
    StatusAtFirstClockReading = FrmTradulo->Label3.text();
  }
  return 45000.0;
}

TEST_F(TWindowTest, ASecondRunShowsTheFirstRunsLastTextUntilItsFirstRecord) {
  const auto Input = Scratch / "entrada.xml";
  const auto Output = Scratch / "saida.txt";
  WriteBytes(Input, Packet(ThreeRows));
  TFrmTradulo& W = Form();
  W.show();
  W.Edit1.setText(Native(Input));
  W.Edit2.setText(Native(Output));
  PressOk();
  const QString FirstRunText = W.Label3.text();
  EXPECT_EQ(FirstRunText, Final);

  WriteBytes(Input, Packet({ThreeRows[0], ThreeRows[1]}));
  ClockRead = false;
  UAlgumasFuncoes::SetClock(&ProbingClock);
  QString AtFirstPump;
  PressOk([&] { AtFirstPump = W.Label3.text(); });

  EXPECT_TRUE(ClockRead);
  EXPECT_EQ(StatusAtFirstClockReading, FirstRunText);
  // After three records the estimator begins anew at position 1.
  EXPECT_EQ(AtFirstPump, Undefined);
  EXPECT_EQ(W.Label3.text(), Final);
  EXPECT_EQ(ReadBytes(Output), Line(ThreeRows[0]) + Line(ThreeRows[1]));
}

TEST_F(TWindowTest, EachFailureShowsItsMessageAndTheWindowIsGivenBack) {
  struct TFailureCase {
    const char* Name;
    std::string InputBytes;  // empty: no input file
    bool OutputIsInput;
    bool OutputFolderMissing;
    TMessageKind Kind;
    QString Message;  // empty: the writer's own message
    std::string OutputAfter;
    bool OkEnabledDuringMessage;
  };
  const QString LoadFailure = QString::fromUtf8(UConversionRun::LoadFailureMessage);
  const QString RecordFailure = QString::fromUtf8(UConversionRun::RecordFailureMessage);
  const std::vector<TFailureCase> Cases = {
      {"missing input", "", false, false, TMessageKind::Plain, LoadFailure, "", false},
      {"not a packet", "isto não é um pacote", false, false, TMessageKind::Plain, LoadFailure, "",
       false},
      {"packet without NU_CPF", Packet({ThreeRows[0], ThreeRows[2]}, "NU_CPF"), false, false,
       TMessageKind::Plain, RecordFailure, Line(ThreeRows[0], 10), false},
      {"output names the input", Packet(ThreeRows), true, false, TMessageKind::Plain,
       QString::fromUtf8(UConversionRun::SameFileMessage), Packet(ThreeRows), true},
      {"output folder missing", Packet(ThreeRows), false, true, TMessageKind::Error, QString(), "",
       true},
  };
  for (const TFailureCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    delete FrmTradulo;
    FrmTradulo = new TFrmTradulo;
    Dialogs.Messages.clear();
    TScratchDir Folder;
    const auto Input = Folder / "entrada.xml";
    auto Output = Folder / "saida.txt";
    if (!Case.InputBytes.empty()) WriteBytes(Input, Case.InputBytes);
    if (Case.OutputIsInput) Output = Input;
    if (Case.OutputFolderMissing) Output = Folder / "sem-pasta" / "saida.txt";
    TFrmTradulo& W = Form();
    W.Edit1.setText(Native(Input));
    W.Edit2.setText(Native(Output));

    PressOk();

    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    const TShownMessage& Shown = Dialogs.Messages[0];
    EXPECT_EQ(Shown.Kind, Case.Kind);
    EXPECT_EQ(Shown.Caption, UToolkit::ApplicationTitle());
    if (!Case.Message.isEmpty()) {
      EXPECT_EQ(Shown.Text, Case.Message);
    }
    if (Case.Kind == TMessageKind::Error) {
      EXPECT_TRUE(Shown.Text.contains(QStringLiteral("sem-pasta"))) << Shown.Text.toStdString();
      EXPECT_TRUE(Shown.Text.endsWith(QLatin1Char('.')));
    } else {
      EXPECT_EQ(ReadBytes(Output), Case.OutputAfter);
    }
    EXPECT_EQ(Shown.OkEnabled, Case.OkEnabledDuringMessage);
    EXPECT_EQ(W.Label3.text(), QStringLiteral("Evolução do Processo"));
    ExpectWindowGivenBack();
  }
}

TEST_F(TWindowTest, CloseDuringARunIsTakenOnceAllRecordsAreWritten) {
  std::vector<std::vector<std::string>> Rows;
  std::string Expected;
  for (int Index = 0; Index < 200; ++Index) {
    Rows.push_back(ThreeRows[Index % 3]);
    Expected += Line(Rows.back());
  }
  const auto Input = Scratch / "entrada.xml";
  const auto Output = Scratch / "saida.txt";
  WriteBytes(Input, Packet(Rows));
  TFrmTradulo& W = Form();
  W.Edit1.setText(Native(Input));
  W.Edit2.setText(Native(Output));

  bool VisibleAfterClose = false;
  bool Pressed = false;
  QTimer::singleShot(0, [&] {
    QTest::qWait(25);
    // Taken at the run's first pump: the close box, then a message box, which must close
    // at once and leave the close request in place.
    QTimer::singleShot(0, [&] {
      W.close();
      VisibleAfterClose = W.isVisible();
      UToolkit::ShowMessage(QStringLiteral("fechada de imediato"));
    });
    Pressed = true;
    W.BitBtn2.click();
  });
  QTimer::singleShot(10000, [] { QCoreApplication::exit(1); });
  W.show();
  W.activateWindow();
  const int ExitCode = QApplication::exec();

  EXPECT_TRUE(Pressed);
  EXPECT_EQ(ExitCode, 0);
  EXPECT_TRUE(VisibleAfterClose);
  EXPECT_FALSE(W.isVisible());
  EXPECT_TRUE(Dialogs.Messages.empty());
  EXPECT_EQ(ReadBytes(Output), Expected);
}

TEST_F(TWindowTest, TheBusyCursorIsSetOnceAndRestoredOnce) {
  UToolkit::SetBusyCursor(true);
  UToolkit::SetBusyCursor(true);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  UToolkit::SetBusyCursor(false);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  UToolkit::SetBusyCursor(false);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// --- The application: error report and title

class TThrower : public QObject {
 public:
  std::function<void()> Throw;
  bool event(QEvent* /*Event*/) override {
    Throw();
    return true;
  }
};

TEST_F(TWindowTest, ExceptionsLeavingAHandlerReachTheErrorReportAndTheLoopGoesOn) {
  struct TThrowCase {
    const char* Name;
    std::function<void()> Throw;
    std::optional<QString> Shown;
  };
  const std::vector<TThrowCase> Cases = {
      {"message ending in a letter", [] { throw std::runtime_error("Disco cheio"); },
       QStringLiteral("Disco cheio.")},
      {"message ending in a point", [] { throw std::runtime_error("Disco cheio."); },
       QStringLiteral("Disco cheio.")},
      {"empty message", [] { throw std::runtime_error(""); }, QString()},
      {"silent kind", [] { throw UToolkit::EAbort(); }, std::nullopt},
  };
  for (const TThrowCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Dialogs.Messages.clear();
    TThrower Thrower;
    Thrower.Throw = Case.Throw;
    QEvent Event(QEvent::User);
    QCoreApplication::sendEvent(&Thrower, &Event);
    if (!Case.Shown) {
      EXPECT_TRUE(Dialogs.Messages.empty());
      continue;
    }
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Kind, TMessageKind::Error);
    EXPECT_EQ(Dialogs.Messages[0].Caption, UToolkit::ApplicationTitle());
    EXPECT_EQ(Dialogs.Messages[0].Text, *Case.Shown);
  }
}

TEST(TToolkitTest, ErrorReportAppendsAPointAfterALastCharacterAboveIt) {
  const std::vector<std::pair<QString, QString>> Cases = {
      {"abc", "abc."},   {"Falhou!", "Falhou!"}, {"fim.", "fim."}, {"(x)", "(x)"},
      {"a-", "a-"},      {"a/", "a/."},          {"2", "2."},      {"", ""},
      {"ação", "ação."}, {"a ", "a "},
  };
  for (const auto& [Message, Shown] : Cases)
    EXPECT_EQ(UToolkit::ErrorReportText(Message), Shown) << Message.toStdString();
}

TEST(TToolkitTest, ApplicationTitleIsTheExecutableNameCutAtItsFirstPoint) {
  const std::vector<std::pair<QString, QString>> Cases = {
      {"/opt/app/Ferramenta.Beta.exe", "Ferramenta"},
      {"MEUPROG.EXE", "Meuprog"},
      {"/usr/bin/tradulo", "tradulo"},
      {"/x/ÁRVORE.EXE", "Árvore"},
      {"/x/.oculto", ""},
  };
  for (const auto& [Path, Title] : Cases)
    EXPECT_EQ(UToolkit::ApplicationTitleFrom(Path), Title) << Path.toStdString();
  EXPECT_EQ(UToolkit::ApplicationTitle(), QStringLiteral("test_ui"));
}

}  // namespace

int main(int Argc, char** Argv) {
  ::testing::InitGoogleTest(&Argc, Argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  UToolkit::TApplication Application(Argc, Argv);
  return RUN_ALL_TESTS();
}
