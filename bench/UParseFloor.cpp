// tradulo-parsefloor: loads one file with pugixml's default options and exits; the time of
// this is the least any reader built on that parser's DOM can take.
//
//   tradulo-parsefloor ARQUIVO
//
// Exit status 0 when the file parsed, 1 when it did not, 2 on wrong usage.
#include <cstdio>
#include <pugixml.hpp>

int main(int ArgCount, char** Args) {
  if (ArgCount != 2) {
    std::fprintf(stderr, "Uso: tradulo-parsefloor ARQUIVO\n");
    return 2;
  }
  pugi::xml_document Document;
  const pugi::xml_parse_result Result = Document.load_file(Args[1]);
  if (!Result) {
    std::fprintf(stderr, "tradulo-parsefloor: %s em %lld\n", Result.description(),
                 static_cast<long long>(Result.offset));
    return 1;
  }
  return 0;
}
