// The program entry: the application object, the window, the event loop until the window
// has been closed.
#include "UToolkit.h"
#include "UTradulo.h"

int main(int Argc, char** Argv) {
  UToolkit::TApplication Application(Argc, Argv);
  Application.setWindowIcon(UTradulo::MainIcon());
  UTradulo::FrmTradulo = new UTradulo::TFrmTradulo;
  Application.Run(*UTradulo::FrmTradulo);
  delete UTradulo::FrmTradulo;
  return 0;
}
