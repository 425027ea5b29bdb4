// tradulo-genpacket: writes a large, realistic data packet for the benchmark.
//
//   tradulo-genpacket --records N --flavour utf8|cp1252 [--seed S] --output FILE
//
// The packet is one line, as the dataset engine writes it: the declaration, two blanks, then
// DATAPACKET with the twelve fields of the output layout among ten others (string, i4, r8,
// date). The rows carry Portuguese text with accents, values left out (NULL), blanks and tabs
// at the ends of values, a few values longer than their column, and now and then an "&", a
// quote or a line break that must be escaped. The utf8 flavour declares its encoding; the
// cp1252 flavour declares none and carries raw Windows-1252 bytes. The same seed gives the
// same bytes on every machine.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// splitmix64: small, fast and the same everywhere, unlike the library's distributions.
class TRandom {
 public:
  explicit TRandom(std::uint64_t Seed) : State(Seed) {}
  std::uint64_t Next() {
    std::uint64_t Z = (State += 0x9E3779B97F4A7C15ull);
    Z = (Z ^ (Z >> 30)) * 0xBF58476D1CE4E5B9ull;
    Z = (Z ^ (Z >> 27)) * 0x94D049BB133111EBull;
    return Z ^ (Z >> 31);
  }
  // 0 .. Count-1.
  std::uint32_t Below(std::uint32_t Count) {
    return static_cast<std::uint32_t>((Next() >> 32) * Count >> 32);
  }
  // True once in Count draws on average.
  bool OneIn(std::uint32_t Count) { return Below(Count) == 0; }
  // True Percent times in a hundred.
  bool Percent(std::uint32_t Share) { return Below(100) < Share; }

 private:
  std::uint64_t State;
};

// The few characters outside ASCII that the word lists use, with their Windows-1252 byte.
struct TCharMapping {
  std::string_view Utf8;
  char Byte;
};

constexpr TCharMapping Cp1252Specials[] = {
    {"\u2013", '\x96'}, {"\u201c", '\x93'}, {"\u201d", '\x94'}, {"\u20ac", '\x80'}};

// UTF-8 text of the word lists in Windows-1252: U+00A0..U+00FF map to their own byte, the
// few others through the table. Anything else is a mistake in the lists.
std::string ToCp1252(std::string_view Text) {
  std::string Result;
  for (std::size_t Index = 0; Index < Text.size();) {
    const auto Lead = static_cast<unsigned char>(Text[Index]);
    if (Lead < 0x80) {
      Result += Text[Index++];
    } else if (Lead == 0xC2 || Lead == 0xC3) {
      const auto Trail = static_cast<unsigned char>(Text[Index + 1]);
      Result += static_cast<char>(((Lead & 0x03) << 6) | (Trail & 0x3F));
      Index += 2;
    } else {
      bool Found = false;
      for (const TCharMapping& Mapping : Cp1252Specials) {
        if (Text.substr(Index, Mapping.Utf8.size()) == Mapping.Utf8) {
          Result += Mapping.Byte;
          Index += Mapping.Utf8.size();
          Found = true;
          break;
        }
      }
      if (!Found) {
        std::fprintf(stderr, "tradulo-genpacket: sem byte Windows-1252 para \"%.*s\"\n",
                     static_cast<int>(Text.size()), Text.data());
        std::exit(2);
      }
    }
  }
  return Result;
}

// A word list in the flavour's encoding.
class TWords {
 public:
  TWords(std::initializer_list<std::string_view> Utf8Words, bool Cp1252) {
    for (const std::string_view Word : Utf8Words)
      Words.push_back(Cp1252 ? ToCp1252(Word) : std::string(Word));
  }
  const std::string& Pick(TRandom& Random) const {
    return Words[Random.Below(static_cast<std::uint32_t>(Words.size()))];
  }

 private:
  std::vector<std::string> Words;
};

struct TMunicipality {
  const char* Code;
  std::string_view Name;
};

constexpr TMunicipality Municipalities[] = {
    {"310620", "Belo Horizonte"}, {"330455", "Rio de Janeiro"}, {"355030", "São Paulo"},
    {"410690", "Curitiba"},       {"431490", "Porto Alegre"},   {"292740", "Salvador"},
    {"261160", "Recife"},         {"230440", "Fortaleza"},      {"150140", "Belém"},
    {"530010", "Brasília"},       {"520870", "Goiânia"},        {"130260", "Manaus"},
    {"211130", "São Luís"},       {"221100", "Teresina"},       {"250750", "João Pessoa"},
    {"240810", "Natal"},          {"270430", "Maceió"},         {"280030", "Aracaju"},
    {"320530", "Vitória"},        {"420540", "Florianópolis"},  {"317020", "Uberlândia"},
    {"330330", "Niterói"},        {"354340", "Ribeirão Preto"}, {"316930", "Três Corações"},
    {"313670", "Juiz de Fora"},   {"351880", "Guarulhos"},      {"500270", "Campo Grande"},
    {"510340", "Cuiabá"},         {"110020", "Porto Velho"},    {"172100", "Palmas"},
    {"160030", "Macapá"},         {"140010", "Boa Vista"},
};

// Everything a row is made from, in the flavour's encoding.
struct TDictionary {
  explicit TDictionary(bool Cp1252)
      : Kinds({"Unidade Básica de Saúde", "UBS", "Centro de Saúde", "Posto de Saúde",
               "Hospital Municipal", "Hospital e Maternidade", "Hospital Regional", "Policlínica",
               "Clínica Médica", "Clínica Odontológica", "Laboratório de Análises",
               "Pronto Atendimento", "Farmácia Popular", "Ambulatório de Especialidades",
               "Centro de Atenção Psicossocial", "Consultório", "Unidade de Pronto Atendimento",
               "Núcleo de Apoio à Saúde da Família"},
              Cp1252),
        Patrons({"São José", "São João", "Santa Luzia", "Nossa Senhora da Conceição",
                 "Nossa Senhora de Fátima", "Nossa Senhora Aparecida", "Santo Antônio",
                 "São Sebastião", "Santa Inês", "São Luís Gonzaga", "Padre Eustáquio",
                 "Dr. Antônio Cândido", "Dra. Maria Glória", "Irmã Dulce", "Frei Galvão",
                 "Menino Jesus", "Santa Rita de Cássia", "São Vicente de Paulo"},
                Cp1252),
        Places({"Jardim Ângela",  "Vila Esperança", "Centro",      "Boa Vista",  "Alto da Glória",
                "Jardim América", "Vila São Jorge", "Cidade Nova", "Bela Vista", "Lagoinha",
                "Pampulha",       "Várzea",         "Água Branca", "Conceição",  "Piedade",
                "Três Poços",     "Jacarepaguá",    "Ipanema",     "Itaquera",   "Paraíso",
                "Santa Efigênia", "Barreiro"},
               Cp1252),
        Suffixes({"Anexo", "Unidade II", "Sede", "Filial", "– Unidade Centro", "Plantão 24h",
                  "Saúde & Vida", "Bem-Estar", "Ação Social", "Nº 2", "1ª Região",
                  "Atenção Primária", "Serviços Médicos Ltda", "\u201cProjeto Viver\u201d"},
                 Cp1252),
        Owners({"Prefeitura Municipal de", "Secretaria de Estado da Saúde de",
                "Fundação Hospitalar de", "Associação Beneficente de",
                "Irmandade da Santa Casa de Misericórdia de", "Consórcio Intermunicipal de"},
               Cp1252),
        Streets({"Rua", "Avenida", "Praça", "Travessa", "Rodovia", "Alameda", "Estrada"}, Cp1252),
        People({"Tiradentes", "Dom Pedro II", "Getúlio Vargas", "Juscelino Kubitschek",
                "Marechal Deodoro", "Barão do Rio Branco", "Sete de Setembro", "Quinze de Novembro",
                "Princesa Isabel", "Castro Alves", "José Bonifácio", "Rui Barbosa",
                "Olegário Maciel", "Afonso Pena", "Conselheiro Lafaiete"},
               Cp1252) {
    for (const TMunicipality& Municipality : Municipalities)
      CityNames.push_back(Cp1252 ? ToCp1252(Municipality.Name) : std::string(Municipality.Name));
  }
  TWords Kinds, Patrons, Places, Suffixes, Owners, Streets, People;
  std::vector<std::string> CityNames;
};

struct TFieldDef {
  const char* Name;
  const char* Type;
  int Width;  // 0: no WIDTH attribute
};

// The twelve output fields among ten the conversion ignores, in the packet's order.
constexpr TFieldDef FieldDefs[] = {
    {"CO_UNIDADE", "string", 31},
    {"CO_CNES", "string", 7},
    {"NO_RAZAO_SOCIAL", "string", 80},
    {"NO_FANTASIA", "string", 100},
    {"NO_LOGRADOURO", "string", 60},
    {"NU_ENDERECO", "string", 10},
    {"NO_BAIRRO", "string", 40},
    {"CO_CEP", "string", 8},
    {"CO_MUNICIPIO_GESTOR", "string", 6},
    {"CO_PALTIR", "string", 7},
    {"CO_PALTIR1", "string", 7},
    {"CO_PALTIR2", "string", 7},
    {"CO_PALTIR3", "string", 7},
    {"CO_PALTIR4", "string", 7},
    {"CO_PALTIR5", "string", 7},
    {"NU_CNPJ", "string", 14},
    {"NU_CPF", "string", 14},
    {"CO_DUMARE", "string", 7},
    {"QT_LEITOS", "i4", 0},
    {"NU_LATITUDE", "r8", 0},
    {"NU_LONGITUDE", "r8", 0},
    {"DT_ATUALIZACAO", "date", 0},
};

class TPacketWriter {
 public:
  TPacketWriter(std::FILE* File, bool Cp1252, std::uint64_t Seed)
      : File(File), Random(Seed), Words(Cp1252) {
    Buffer.reserve(ChunkSize + 4096);
  }

  void Header(bool Cp1252) {
    Buffer += Cp1252 ? "<?xml version=\"1.0\" standalone=\"yes\"?>"
                     : "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>";
    Buffer += "  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>";
    for (const TFieldDef& Field : FieldDefs) {
      Buffer += "<FIELD attrname=\"";
      Buffer += Field.Name;
      Buffer += "\" fieldtype=\"";
      Buffer += Field.Type;
      if (Field.Width > 0) {
        Buffer += "\" WIDTH=\"";
        Buffer += std::to_string(Field.Width);
      }
      Buffer += "\"/>";
    }
    Buffer += "</FIELDS><PARAMS LCID=\"1046\"/></METADATA><ROWDATA>";
  }

  void Row() {
    const TMunicipality& Municipality = Municipalities[Random.Below(std::size(Municipalities))];
    const std::string& City =
        Words.CityNames[static_cast<std::size_t>(&Municipality - Municipalities)];
    const std::string Cnes = Digits(7);

    Buffer += "<ROW";
    // CO_UNIDADE: the municipality and the establishment, now and then with blanks around.
    Value = Municipality.Code;
    Value += Cnes;
    if (Random.OneIn(150)) {
      Value.insert(0, 1, ' ');
      Value += "  ";
    }
    Attribute("CO_UNIDADE");
    Value = Cnes;
    Attribute("CO_CNES");

    if (!Random.OneIn(4)) {
      Value = Words.Owners.Pick(Random);
      Value += ' ';
      Value += City;
      Attribute("NO_RAZAO_SOCIAL");
    }
    if (!Random.OneIn(80)) {
      TradeName();
      Attribute("NO_FANTASIA");
    }
    if (!Random.OneIn(10)) {
      Value = Words.Streets.Pick(Random);
      Value += ' ';
      Value += Words.People.Pick(Random);
      if (Random.OneIn(300)) Value += "\r\nFundos";
      Attribute("NO_LOGRADOURO");
      Value = Random.OneIn(12) ? "S/N" : std::to_string(1 + Random.Below(3000));
      Attribute("NU_ENDERECO");
    }
    if (Random.Percent(70)) {
      Value = Words.Places.Pick(Random);
      Attribute("NO_BAIRRO");
    }
    Value = Digits(8);
    Attribute("CO_CEP");
    Value = Municipality.Code;
    Attribute("CO_MUNICIPIO_GESTOR");

    // CO_PALTIR always, the further ones ever more rarely; the engine writes an empty
    // string as an empty attribute.
    static constexpr const char* Paltirs[] = {"CO_PALTIR",  "CO_PALTIR1", "CO_PALTIR2",
                                              "CO_PALTIR3", "CO_PALTIR4", "CO_PALTIR5"};
    static constexpr std::uint32_t PaltirShares[] = {100, 55, 30, 15, 8, 4};
    for (std::size_t Index = 0; Index < std::size(Paltirs); ++Index) {
      if (Random.Percent(PaltirShares[Index])) {
        Value = Random.OneIn(40) ? std::string() : Digits(7);
        if (!Value.empty() && Random.OneIn(200)) Value += '\t';
        Attribute(Paltirs[Index]);
      }
    }

    // A company has a CNPJ, a person a CPF, sometimes typed with its punctuation.
    if (Random.Percent(75)) {
      Value = Digits(14);
      Attribute("NU_CNPJ");
    } else {
      Value = Digits(11);
      if (Random.OneIn(50))
        Value = Value.substr(0, 3) + '.' + Value.substr(3, 3) + '.' + Value.substr(6, 3) + '-' +
                Value.substr(9);
      Attribute("NU_CPF");
    }
    Value = Digits(7);
    if (Random.OneIn(100)) {
      if (Random.OneIn(2))
        Value.insert(0, 1, '\t');
      else
        Value += " \t";
    }
    Attribute("CO_DUMARE");

    if (Random.Percent(40)) {
      Value = std::to_string(Random.Below(600));
      Attribute("QT_LEITOS");
    }
    if (!Random.OneIn(20)) {
      Value = Coordinate(1 + Random.Below(33));
      Attribute("NU_LATITUDE");
      Value = Coordinate(35 + Random.Below(38));
      Attribute("NU_LONGITUDE");
    }
    Value = std::to_string(2015 + Random.Below(12));
    Value += TwoDigits(1 + Random.Below(12));
    Value += TwoDigits(1 + Random.Below(28));
    Attribute("DT_ATUALIZACAO");
    Buffer += "/>";

    if (Buffer.size() >= ChunkSize) Flush();
  }

  void Footer() {
    Buffer += "</ROWDATA></DATAPACKET>";
    Flush();
  }

  bool Failed() const { return WriteFailed; }

 private:
  static constexpr std::size_t ChunkSize = 1 << 20;

  void Flush() {
    if (std::fwrite(Buffer.data(), 1, Buffer.size(), File) != Buffer.size()) WriteFailed = true;
    Buffer.clear();
  }

  // The value escaped as the engine escapes it inside a double-quoted attribute.
  void Attribute(const char* Name) {
    Buffer += ' ';
    Buffer += Name;
    Buffer += "=\"";
    for (const char Char : Value) {
      switch (Char) {
        case '&':
          Buffer += "&amp;";
          break;
        case '"':
          Buffer += "&quot;";
          break;
        case '<':
          Buffer += "&lt;";
          break;
        case '>':
          Buffer += "&gt;";
          break;
        case '\'':
          Buffer += "&apos;";
          break;
        case '\t':
          Buffer += "&#009;";
          break;
        case '\r':
          Buffer += "&#013;";
          break;
        case '\n':
          Buffer += "&#010;";
          break;
        default:
          Buffer += Char;
      }
    }
    Buffer += '"';
  }

  void TradeName() {
    Value.clear();
    if (Random.OneIn(60)) Value += Random.OneIn(2) ? "  " : "\t";
    Value += Words.Kinds.Pick(Random);
    Value += ' ';
    switch (Random.Below(3)) {
      case 0:
        Value += Words.Patrons.Pick(Random);
        break;
      case 1:
        Value += Words.Places.Pick(Random);
        break;
      default:
        Value += Words.CityNames[Random.Below(std::size(Municipalities))];
    }
    if (Random.OneIn(4)) {
      Value += ' ';
      Value += Words.Suffixes.Pick(Random);
    }
    if (Random.OneIn(300)) {
      // A name too long for its column, written whole.
      Value += " - ";
      Value += Words.Patrons.Pick(Random);
      Value += " e ";
      Value += Words.Places.Pick(Random);
      Value += " (";
      Value += Words.Owners.Pick(Random);
      Value += ')';
    }
    if (Random.OneIn(400)) {
      Value += " \"Sede\"";
    }
    if (Random.OneIn(500)) {
      Value += "\r\n";
      Value += Words.Suffixes.Pick(Random);
    }
    if (Random.OneIn(60)) Value += Random.OneIn(2) ? "   " : " \t";
  }

  std::string Digits(int Count) {
    std::string Text(static_cast<std::size_t>(Count), '0');
    for (char& Digit : Text) Digit = static_cast<char>('0' + Random.Below(10));
    return Text;
  }

  static std::string TwoDigits(std::uint32_t Number) {
    return {static_cast<char>('0' + Number / 10), static_cast<char>('0' + Number % 10)};
  }

  // A negative decimal degree with up to seven decimals and no trailing zeros, as the
  // engine writes an r8.
  std::string Coordinate(std::uint32_t Degrees) {
    std::uint32_t Fraction = Random.Below(10000000);
    int Decimals = 7;
    while (Decimals > 0 && Fraction % 10 == 0) {
      Fraction /= 10;
      --Decimals;
    }
    std::string Text(1, '-');
    Text += std::to_string(Degrees);
    if (Decimals > 0) {
      std::string FractionText = std::to_string(Fraction);
      Text += '.';
      Text.append(static_cast<std::size_t>(Decimals) - FractionText.size(), '0');
      Text += FractionText;
    }
    return Text;
  }

  std::FILE* File;
  TRandom Random;
  TDictionary Words;
  std::string Buffer;
  std::string Value;
  bool WriteFailed = false;
};

int UsageError(const char* Problem) {
  std::fprintf(stderr,
               "tradulo-genpacket: %s\n"
               "Uso: tradulo-genpacket --records N --flavour utf8|cp1252 [--seed S] --output "
               "ARQUIVO\n",
               Problem);
  return 2;
}

}  // namespace

int main(int ArgCount, char** Args) {
  long long RecordCount = -1;
  std::string Flavour = "utf8";
  std::uint64_t Seed = 20240611;
  const char* OutputName = nullptr;
  for (int Index = 1; Index < ArgCount; ++Index) {
    const std::string_view Arg = Args[Index];
    if (Index + 1 >= ArgCount) return UsageError("falta o valor de uma opção");
    const char* Next = Args[++Index];
    if (Arg == "--records") {
      RecordCount = std::strtoll(Next, nullptr, 10);
    } else if (Arg == "--flavour") {
      Flavour = Next;
    } else if (Arg == "--seed") {
      Seed = std::strtoull(Next, nullptr, 10);
    } else if (Arg == "--output") {
      OutputName = Next;
    } else {
      return UsageError("opção desconhecida");
    }
  }
  if (RecordCount < 0 || OutputName == nullptr) return UsageError("faltam --records ou --output");
  if (Flavour != "utf8" && Flavour != "cp1252") return UsageError("--flavour é utf8 ou cp1252");
  const bool Cp1252 = Flavour == "cp1252";

  std::FILE* File = std::fopen(OutputName, "wb");
  if (File == nullptr) {
    std::perror(OutputName);
    return 1;
  }
  TPacketWriter Writer(File, Cp1252, Seed);
  Writer.Header(Cp1252);
  for (long long Record = 0; Record < RecordCount; ++Record) Writer.Row();
  Writer.Footer();
  const bool Closed = std::fclose(File) == 0;
  if (Writer.Failed() || !Closed) {
    std::fprintf(stderr, "tradulo-genpacket: não foi possível gravar %s\n", OutputName);
    return 1;
  }
  return 0;
}
