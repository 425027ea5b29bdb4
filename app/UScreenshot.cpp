// Opens the window as the program does and saves a picture of the screen where it lies once it
// has been painted: tradulo-screenshot OUTPUT.png
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "UToolkit.h"
#include "UTradulo.h"

int main(int Argc, char** Argv) {
  UToolkit::TApplication Application(Argc, Argv);
  const QStringList Arguments = Application.arguments();
  if (Arguments.size() != 2) {
    std::fprintf(stderr, "usage: tradulo-screenshot OUTPUT.png\n");
    return 2;
  }
  Application.setWindowIcon(UTradulo::MainIcon());
  UTradulo::FrmTradulo = new UTradulo::TFrmTradulo;
  int Result = 0;
  QTimer::singleShot(1000, [&] {
    UTradulo::TFrmTradulo& Form = *UTradulo::FrmTradulo;
    const QRect Area = Form.frameGeometry();
    const QPixmap Shot =
        Form.screen()->grabWindow(0, Area.x(), Area.y(), Area.width(), Area.height());
    if (!Shot.save(Arguments[1], "PNG")) Result = 1;
    std::printf("font: %s %dpx\n", qPrintable(QFontInfo(Form.font()).family()),
                QFontInfo(Form.font()).pixelSize());
    Form.close();
  });
  Application.Run(*UTradulo::FrmTradulo);
  delete UTradulo::FrmTradulo;
  return Result;
}
