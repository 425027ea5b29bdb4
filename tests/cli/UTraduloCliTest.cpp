// tradulo-cli end to end: exit status, what it says on stderr, what it leaves on disk.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "UTestSupport.h"

using UTestSupport::ReadBytes;
using UTestSupport::TScratchDir;
using UTestSupport::WriteBytes;

namespace {

struct TCliResult {
  int ExitCode;
  std::string Out, Err;
};

std::string Quote(const std::string& Text) {
  std::string Quoted = "'";
  for (char C : Text) {
    if (C == '\'')
      Quoted.append("'\\''");
    else
      Quoted.push_back(C);
  }
  Quoted.push_back('\'');
  return Quoted;
}

TCliResult RunCli(const TScratchDir& Dir, const std::vector<std::string>& Args) {
  std::string Command = Quote(TRADULO_CLI);
  for (const std::string& Arg : Args) Command.append(" ").append(Quote(Arg));
  Command.append(" >").append(Quote((Dir / "stdout").string()));
  Command.append(" 2>").append(Quote((Dir / "stderr").string())).append(" </dev/null");
  const int Status = std::system(Command.c_str());
  return {WIFEXITED(Status) ? WEXITSTATUS(Status) : -1, ReadBytes(Dir / "stdout"),
          ReadBytes(Dir / "stderr")};
}

std::string FirstLine(const std::string& Text) { return Text.substr(0, Text.find('\n')); }

}  // namespace

TEST(TraduloCli, ConvertsTheExamplePacketSilently) {
  TScratchDir Dir;
  const TCliResult Result =
      RunCli(Dir, {std::string(TRADULO_EXAMPLES_DIR) + "/unidades.xml", (Dir / "saida.txt")});
  ASSERT_EQ(Result.ExitCode, 0) << Result.Err;
  EXPECT_EQ(Result.Out, "");
  EXPECT_EQ(Result.Err, "");
  const std::string Bytes = ReadBytes(Dir / "saida.txt");
  ASSERT_EQ(Bytes.size(), 5u * 173u);
  // UTF-8 in the packet, Windows-1252 in the file; the tab and blanks at the ends trimmed.
  EXPECT_EQ(Bytes.substr(31, 24),
            "Centro de Sa\xfa"
            "de S\xe3o Jo\xe3o");
  EXPECT_EQ(Bytes.substr(173 + 31, 29), std::string("Policl\xednica Padre Eust\xe1quio") + "  ");
  EXPECT_EQ(Bytes.substr(2 * 173 + 153, 11), "12345678909");
  EXPECT_EQ(Bytes.substr(171, 2), "\r\n");
}

TEST(TraduloCli, FailuresSayTheMessageThenTheCause) {
  TScratchDir Dir;
  WriteBytes(Dir / "texto.xml", "isto n\xe3o \xe9 um pacote");
  WriteBytes(Dir / "sem-cpf.xml",
             "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
             "<FIELD attrname=\"CO_UNIDADE\" fieldtype=\"string\" WIDTH=\"31\"/>"
             "</FIELDS></METADATA><ROWDATA><ROW CO_UNIDADE=\"1\"/></ROWDATA></DATAPACKET>");
  struct TCase {
    std::string Input, Output, Message, CauseHas;
  };
  const TCase Cases[] = {
      {(Dir / "texto.xml"), (Dir / "a.txt"), "Problemas na Base ", "texto.xml"},
      {(Dir / "nada.xml"), (Dir / "b.txt"), "Problemas na Base ", "nada.xml"},
      {"", (Dir / "c.txt"), "Problemas na Base ", ""},
      {(Dir / "sem-cpf.xml"), (Dir / "d.txt"),
       "S\xc3\xb3 \xc3\xa9 poss\xc3\xadvel converter XML Gerado pelo QUILAR", "NO_FANTASIA"},
      {(Dir / "sem-cpf.xml"), (Dir / "sem-cpf.xml"),
       "O arquivo de sa\xc3\xad"
       "da n\xc3\xa3o pode ser o mesmo arquivo de entrada.",
       "mesmo"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Input + " -> " + Case.Output);
    const TCliResult Result = RunCli(Dir, {Case.Input, Case.Output});
    EXPECT_EQ(Result.ExitCode, 1);
    EXPECT_EQ(FirstLine(Result.Err), Case.Message);
    EXPECT_NE(Result.Err.find("\nCausa: "), std::string::npos) << Result.Err;
    EXPECT_NE(Result.Err.find(Case.CauseHas), std::string::npos) << Result.Err;
  }
  // What each failure leaves: an empty output after a load failure, the first column of the
  // failing record after a missing field, the input untouched when it was named as output.
  EXPECT_EQ(ReadBytes(Dir / "a.txt"), "");
  EXPECT_TRUE(std::filesystem::exists(Dir / "c.txt"));
  EXPECT_EQ(ReadBytes(Dir / "d.txt"), "1" + std::string(30, ' '));
  EXPECT_NE(ReadBytes(Dir / "sem-cpf.xml").find("CO_UNIDADE=\"1\""), std::string::npos);
}

TEST(TraduloCli, OutputThatCannotBeOpenedNamesTheSystemsReason) {
  TScratchDir Dir;
  const TCliResult Result = RunCli(
      Dir, {std::string(TRADULO_EXAMPLES_DIR) + "/unidades.xml", (Dir / "falta" / "saida.txt")});
  EXPECT_EQ(Result.ExitCode, 1);
  EXPECT_NE(Result.Err.find("saida.txt"), std::string::npos) << Result.Err;
  EXPECT_NE(Result.Err.find("No such file or directory"), std::string::npos) << Result.Err;
}

TEST(TraduloCli, UsageHelpAndVersion) {
  TScratchDir Dir;
  struct TCase {
    std::vector<std::string> Args;
    int ExitCode;
    std::string OutHas, ErrHas;
  };
  const TCase Cases[] = {
      {{}, 2, "", "Uso: tradulo-cli ENTRADA SAIDA"},
      {{"a.xml"}, 2, "", "faltam argumentos"},
      {{"a.xml", "b.txt", "c.txt"}, 2, "", "argumentos demais"},
      {{"--frobnicate", "a", "b"}, 2, "", "--frobnicate"},
      {{"--help"},
       0,
       "C\xc3\xb3"
       "digos de sa\xc3\xad"
       "da",
       ""},
      {{"--version"}, 0, "tradulo-cli ", ""},
  };
  for (const TCase& Case : Cases) {
    const TCliResult Result = RunCli(Dir, Case.Args);
    EXPECT_EQ(Result.ExitCode, Case.ExitCode) << Result.Err;
    EXPECT_NE(Result.Out.find(Case.OutHas), std::string::npos) << Result.Out;
    EXPECT_NE(Result.Err.find(Case.ErrHas), std::string::npos) << Result.Err;
  }
}

TEST(TraduloCli, RealPackets) {
  TRADULO_REQUIRE_REAL_PACKETS();
  TScratchDir Dir;
  // None of them carries the twelve fields: the first record fails, an empty one converts.
  struct TCase {
    const char* File;
    int ExitCode;
    std::string Message;
  };
  const TCase Cases[] = {
      {"xmlmapper-tablecountry-skeleton.xml", 0, ""},
      {"jvdbgrid-country.cds", 1, "Problemas na Base "},
      {"demos-country.xml", 1,
       "S\xc3\xb3 \xc3\xa9 poss\xc3\xadvel converter XML Gerado pelo QUILAR"},
      {"bart-dados-cp1252.xml", 1,
       "S\xc3\xb3 \xc3\xa9 poss\xc3\xadvel converter XML Gerado pelo QUILAR"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.File);
    const TCliResult Result =
        RunCli(Dir, {(UTestSupport::RealPacketsDir() / Case.File).string(), (Dir / "saida.txt")});
    EXPECT_EQ(Result.ExitCode, Case.ExitCode) << Result.Err;
    EXPECT_EQ(FirstLine(Result.Err), Case.Message);
    EXPECT_EQ(ReadBytes(Dir / "saida.txt"), "");
  }
}
