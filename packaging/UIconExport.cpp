// Writes the program's icon as PNG files of the sizes a Linux desktop looks for, each scaled
// from the 32 x 32 drawing without smoothing, so the pixel art stays crisp.
//
//   tradulo-icon-export FOLDER SIZE...
#include <QImage>
#include <QString>
#include <cstdio>
#include <cstdlib>

#include "../ui/images/MainIcon.xpm"

int main(int ArgCount, char** Args) {
  if (ArgCount < 3) {
    std::fprintf(stderr, "Uso: tradulo-icon-export PASTA TAMANHO...\n");
    return 2;
  }
  const QImage Icon(MainIconXpm);
  if (Icon.isNull()) {
    std::fprintf(stderr,
                 "tradulo-icon-export: o desenho do \u00edcone n\u00e3o p\u00f4de ser lido\n");
    return 1;
  }
  for (int Index = 2; Index < ArgCount; ++Index) {
    const int Size = std::atoi(Args[Index]);
    const QString FileName =
        QString("%1/tradulo-%2.png").arg(QString::fromLocal8Bit(Args[1])).arg(Size);
    if (Size <= 0 || !Icon.scaled(Size, Size, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                          .save(FileName, "PNG")) {
      std::fprintf(stderr, "tradulo-icon-export: n\u00e3o foi poss\u00edvel gravar %s\n",
                   FileName.toLocal8Bit().constData());
      return 1;
    }
  }
  return 0;
}
