// tradulo-cli: the conversion run of the window, from the command line.
//
//   tradulo-cli ENTRADA SAIDA
//
// Exit status 0 when every record was written, 1 on any failure, 2 on wrong usage.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include "UConversionRun.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#ifndef TRADULO_VERSION
#define TRADULO_VERSION "0"
#endif

namespace {

constexpr const char* UsageText =
    "Uso: tradulo-cli ENTRADA SAIDA\n"
    "Converte o pacote de dados XML ENTRADA no arquivo texto de colunas fixas SAIDA.\n";

constexpr const char* HelpText =
    "\n"
    "Argumentos:\n"
    "  ENTRADA        o pacote de dados XML a converter\n"
    "  SAIDA          o arquivo texto a gerar; um arquivo existente com esse nome\n"
    "                 \u00e9 apagado e refeito\n"
    "\n"
    "Op\u00e7\u00f5es:\n"
    "  -h, --help     mostra esta ajuda e sai\n"
    "  -V, --version  mostra a vers\u00e3o e sai\n"
    "\n"
    "Cada registro vira uma linha de doze colunas alinhadas \u00e0 esquerda e completadas\n"
    "com brancos (171 caracteres quando todos os valores cabem), em Windows-1252,\n"
    "terminada por CR LF.\n"
    "\n"
    "C\u00f3digos de sa\u00edda:\n"
    "  0  todos os registros foram gravados\n"
    "  1  a convers\u00e3o falhou (a mensagem e a causa v\u00e3o para a sa\u00edda de erros)\n"
    "  2  uso incorreto\n";

// A cause may quote bytes of the packet: control characters are shown as \xNN, so that a
// NUL cannot cut the line short nor an ESC reach the terminal.
std::string Printable(std::string_view Text) {
  std::string Result;
  Result.reserve(Text.size());
  for (const char C : Text) {
    const auto Code = static_cast<unsigned char>(C);
    if (Code >= 32 && Code != 127) {
      Result.push_back(C);
      continue;
    }
    char Escaped[5];
    std::snprintf(Escaped, sizeof Escaped, "\\x%02X", Code);
    Result.append(Escaped);
  }
  return Result;
}

// The host of a run on the command line: messages and their causes go to stderr, and a
// progress line is drawn there while it is a terminal.
class TCliHost final : public UConversionRun::TConversionHost {
 public:
  TCliHost(std::string Input, std::string Output)
      : Input(std::move(Input)), Output(std::move(Output)), Terminal(isatty(fileno(stderr)) != 0) {}

  std::filesystem::path OutputPath() override { return Output; }
  std::filesystem::path InputPath() override { return Input; }
  UAlgumasFuncoes::TProgressBar& ProgressBar() override { return Bar; }
  void ProgressChanged() override {}
  void SetStatusText(const std::string& Text) override {
    if (Terminal && RedrawDue()) DrawProgress(Text);
  }
  void SetBusy(bool Busy) override {
    if (!Busy) EndProgressLine();
  }
  void ProcessMessages() override {}
  void ShowMessage(const std::string& Text) override {
    EndProgressLine();
    std::fprintf(stderr, "%s\n", Text.c_str());
  }
  void ReportCause(const std::string& Cause) override {
    std::fprintf(stderr, "Causa: %s\n", Printable(Cause).c_str());
  }

 private:
  bool RedrawDue() {
    const auto Now = std::chrono::steady_clock::now();
    if (Drawn && Now - LastDraw < std::chrono::milliseconds(250)) return false;
    LastDraw = Now;
    return true;
  }
  void DrawProgress(const std::string& Text) {
    std::fprintf(stderr, "\r\033[K%d/%d registros  %s", Bar.Position, Bar.Max, Text.c_str());
    std::fflush(stderr);
    Drawn = true;
  }
  void EndProgressLine() {
    if (!Drawn) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    Drawn = false;
  }

  std::string Input;
  std::string Output;
  bool Terminal;
  bool Drawn = false;
  std::chrono::steady_clock::time_point LastDraw;
  UAlgumasFuncoes::TProgressBar Bar;
};

int UsageError(const char* Problem) {
  std::fprintf(stderr, "tradulo-cli: %s\n%s", Problem, UsageText);
  return 2;
}

// The error report's rule: a point is added when the message ends in a character above ".".
std::string ErrorReportText(std::string Message) {
  if (!Message.empty() && static_cast<unsigned char>(Message.back()) > '.') Message += '.';
  return Message;
}

}  // namespace

int main(int ArgCount, char** Args) {
  std::string_view Paths[2];
  int PathCount = 0;
  bool OptionsEnded = false;
  for (int Index = 1; Index < ArgCount; ++Index) {
    const std::string_view Arg = Args[Index];
    if (!OptionsEnded && Arg.size() > 1 && Arg[0] == '-') {
      if (Arg == "-h" || Arg == "--help") {
        std::printf("%s%s", UsageText, HelpText);
        return 0;
      }
      if (Arg == "-V" || Arg == "--version") {
        std::printf("tradulo-cli %s\n", TRADULO_VERSION);
        return 0;
      }
      if (Arg == "--") {
        OptionsEnded = true;
        continue;
      }
      return UsageError(("op\u00e7\u00e3o desconhecida: " + std::string(Arg)).c_str());
    }
    if (PathCount == 2) return UsageError("argumentos demais");
    Paths[PathCount++] = Arg;
  }
  if (PathCount < 2) return UsageError("faltam argumentos");

  TCliHost Host{std::string(Paths[0]), std::string(Paths[1])};
  UClientDataSet::TClientDataSet DataSet;
  UTextFile::TTextFile Output;
  try {
    const UConversionRun::TRunResult Result = UConversionRun::RunConversion(Host, DataSet, Output);
    return Result.Outcome == UConversionRun::TRunOutcome::Converted ? 0 : 1;
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "%s\n", ErrorReportText(Error.what()).c_str());
    return 1;
  }
}
