#include "UTradulo.h"

#include <QImage>
#include <QPixmap>

#include "URecordLayout.h"
#include "UTextFile.h"

namespace UTradulo {

TFrmTradulo* FrmTradulo = nullptr;

namespace {

#include "images/GlyphA.xpm"
#include "images/GlyphB.xpm"
#include "images/GlyphC.xpm"
#include "images/MainIcon.xpm"

void Put(QWidget& Control, QWidget& Parent, int Left, int Top, int Width, int Height) {
  Control.setParent(&Parent);
  Control.setGeometry(Left, Top, Width, Height);
}

void Put(UToolkit::TLabel& Label, QWidget& Parent, int Left, int Top, const QString& Caption) {
  Label.setParent(&Parent);
  Label.move(Left, Top);
  Label.SetCaption(Caption);
}

}  // namespace

QIcon MainIcon() { return QIcon(QPixmap(MainIconXpm)); }

TFrmTradulo::TFrmTradulo() {
  setWindowTitle(QStringLiteral("Tradulo Versão 2.1 para TXT"));
  setFont(UToolkit::FontOf(QStringLiteral("MS Sans Serif"), 11));
  setBackgroundRole(QPalette::Button);
  resize(444, 215);
  Position = TPosition::DesktopCenter;

  // In the order of creation: a later control lies over an earlier one of the same parent.
  Panel1.setParent(this);
  Panel1.SetAlign(UToolkit::TPanel::TAlign::Client);
  Put(Label1, Panel1, 16, 16, QStringLiteral("Selecione o Arquivo XML"));
  Put(Label2, Panel1, 16, 83, QStringLiteral("Salvar Como"));
  Put(SpeedButton1, Panel1, 408, 40, 23, 22);
  SpeedButton1.SetGlyph(QImage(GlyphAXpm));
  Put(SpeedButton2, Panel1, 408, 104, 23, 22);
  SpeedButton2.SetGlyph(QImage(GlyphBXpm));
  Put(Label3, Panel1, 8, 144, QStringLiteral("Evolução do Processo"));
  Put(Edit1, Panel1, 16, 40, 377, 21);
  Edit1.setReadOnly(true);
  Put(Edit2, Panel1, 16, 104, 377, 21);
  Put(Panel2, Panel1, 1, 173, 442, 41);
  Panel2.SetAlign(UToolkit::TPanel::TAlign::Bottom);
  Put(BitBtn1, Panel2, 360, 8, 75, 25);
  BitBtn1.SetKind(UToolkit::TBitBtn::TKind::Close);
  Put(BitBtn2, Panel2, 280, 8, 75, 25);
  BitBtn2.setText(QStringLiteral("OK"));
  BitBtn2.SetGlyph(QImage(GlyphCXpm));
  BitBtn2.setDefault(true);
  Put(ProgressBar1, Panel1, 6, 160, 433, 16);

  setTabOrder(&Edit1, &Edit2);
  setTabOrder(&Edit2, &BitBtn1);
  setTabOrder(&BitBtn1, &BitBtn2);

  OpenDialog1.FileName = QStringLiteral("*.xml");
  SaveDialog1.FileName = QStringLiteral("*.xml");
  SaveDialog1.Filter = QStringLiteral("*.txt");

  StatusText = Label3.text().toStdString();

  connect(&SpeedButton1, &QAbstractButton::clicked, this,
          [this] { CallHandler([this] { SpeedButton1Click(&SpeedButton1); }); });
  connect(&SpeedButton2, &QAbstractButton::clicked, this,
          [this] { CallHandler([this] { SpeedButton2Click(&SpeedButton2); }); });
  connect(&BitBtn2, &QAbstractButton::clicked, this,
          [this] { CallHandler([this] { BitBtn2Click(&BitBtn2); }); });
}

TFrmTradulo::~TFrmTradulo() {
  if (FrmTradulo == this) FrmTradulo = nullptr;
}

void TFrmTradulo::SpeedButton1Click(QObject* /*Sender*/) {
  if (OpenDialog1.Execute(this)) Edit1.setText(OpenDialog1.FileName);
}

void TFrmTradulo::SpeedButton2Click(QObject* /*Sender*/) {
  // The suffix goes into the edit only; the dialog keeps the name as it was confirmed.
  if (SaveDialog1.Execute(this)) Edit2.setText(SaveDialog1.FileName + QStringLiteral(".txt"));
}

void TFrmTradulo::BitBtn2Click(QObject* /*Sender*/) {
  UTextFile::TTextFile Output;
  UConversionRun::RunConversion(*this, ClientDataSet1, Output);
}

std::string TFrmTradulo::PadField(std::string_view Value, std::int32_t Width) const {
  return URecordLayout::PadField(Value, Width);
}

std::filesystem::path TFrmTradulo::OutputPath() { return UToolkit::FilePath(Edit2.text()); }

std::filesystem::path TFrmTradulo::InputPath() { return UToolkit::FilePath(Edit1.text()); }

UAlgumasFuncoes::TProgressBar& TFrmTradulo::ProgressBar() { return ProgressBar1; }

void TFrmTradulo::ProgressChanged() { ProgressBar1.Sync(); }

// A label change costs as much as many records, and is seen only when the window paints,
// which happens only inside the event pump: Label3 is given the latest text right before
// each pump, before a message box and at the end of the run.
void TFrmTradulo::SetStatusText(const std::string& Text) {
  if (Text == StatusText) return;
  StatusText = Text;
  StatusPending = true;
}

void TFrmTradulo::ShowStatus() {
  if (!StatusPending) return;
  StatusPending = false;
  Label3.SetCaption(QString::fromStdString(StatusText));
}

void TFrmTradulo::SetBusy(bool Busy) {
  if (!Busy) ShowStatus();
  UToolkit::SetBusyCursor(Busy);
  BitBtn2.setEnabled(!Busy);
}

void TFrmTradulo::ProcessMessages() {
  if (!UToolkit::PumpDue()) return;
  ShowStatus();
  UToolkit::ProcessMessages();
}

void TFrmTradulo::ShowMessage(const std::string& Text) {
  ShowStatus();
  UToolkit::ShowMessage(QString::fromStdString(Text));
}

}  // namespace UTradulo
