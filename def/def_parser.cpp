#include "def/def_parser.h"

#include <array>
#include <vector>

#include "model/decorated_names.h"
#include "model/form_losses.h"

namespace def {

namespace {

constexpr char kQuote = '"';
constexpr std::string_view kSeparators = "=,;";
constexpr std::uint32_t kLargestOrdinal = 0xFFFF;

// Words the librarians take as keywords wherever they stand bare.
constexpr std::array<std::string_view, 11> kKeywords = {
    "BASE", "CONSTANT", "DATA", "EXPORTS", "HEAPSIZE", "LIBRARY",
    "NAME", "NONAME", "PRIVATE", "STACKSIZE", "VERSION"};
constexpr std::string_view kLibrary = "LIBRARY";
constexpr std::string_view kName = "NAME";
constexpr std::string_view kNoName = "NONAME";
constexpr std::string_view kData = "DATA";
constexpr std::string_view kConstant = "CONSTANT";
constexpr std::string_view kPrivate = "PRIVATE";
constexpr std::string_view kLibraryExtension = ".dll";
constexpr std::string_view kProgramExtension = ".exe";

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// What GNU dlltool reads as part of a bare name; anything else ends it (or
// fails the line), so such a name goes in quotes, which both librarians
// read whole.
bool StandsBare(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) ||
         std::string_view("_$:?@/+<>-").find(c) != std::string_view::npos;
}

bool IsKeyword(std::string_view word) {
  for (std::string_view keyword : kKeywords)
    if (word == keyword) return true;
  return false;
}

struct Token {
  enum class Type : std::uint8_t { Word, Equal, EqualEqual, Comma } type = Type::Word;
  std::string_view text;
  bool quoted = false;

  bool Is(std::string_view keyword) const {
    return type == Type::Word && !quoted && text == keyword;
  }
};

// Splits a line into words, '=' and ','; a comment ends it. False on a
// quote that is never closed.
bool Lex(std::string_view line, std::vector<Token>& tokens) {
  std::size_t at = 0;
  while (at < line.size()) {
    const char c = line[at];
    if (IsBlank(c)) {
      ++at;
    } else if (c == kCommentStart) {
      break;
    } else if (c == '=' && line.substr(at).starts_with("==")) {
      tokens.push_back({Token::Type::EqualEqual, line.substr(at, 2)});
      at += 2;
    } else if (c == '=' || c == ',') {
      tokens.push_back({c == '=' ? Token::Type::Equal : Token::Type::Comma, line.substr(at, 1)});
      ++at;
    } else if (c == kQuote) {
      const std::size_t close = line.find(kQuote, at + 1);
      if (close == std::string_view::npos) return false;
      tokens.push_back({Token::Type::Word, line.substr(at + 1, close - at - 1), true});
      at = close + 1;
    } else {
      std::size_t end = at;
      while (end < line.size() && !IsBlank(line[end]) &&
             kSeparators.find(line[end]) == std::string_view::npos)
        ++end;
      tokens.push_back({Token::Type::Word, line.substr(at, end - at)});
      at = end;
    }
  }
  return true;
}

// Decimal digits only, at most the largest ordinal.
bool ParseOrdinal(std::string_view digits, std::uint16_t& ordinal) {
  if (digits.empty()) return false;
  std::uint32_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
    if (value > kLargestOrdinal) return false;
  }
  ordinal = static_cast<std::uint16_t>(value);
  return true;
}

AnsiString ModuleFileName(std::string_view name, std::string_view defaultExtension) {
  AnsiString file(name);
  const std::size_t base = name.find_last_of("/\\");
  const std::string_view baseName = base == std::string_view::npos ? name : name.substr(base + 1);
  if (!file.empty() && baseName.find('.') == std::string_view::npos) file += defaultExtension;
  return file;
}

bool IsWord(const std::vector<Token>& tokens, std::size_t at) {
  return at < tokens.size() && tokens[at].type == Token::Type::Word;
}

// name [=internal] then any of: @N [NONAME], "@ N" [NONAME], DATA,
// CONSTANT, PRIVATE, "== export". Unparsed for anything else.
ParsedLine ParseExport(const std::vector<Token>& tokens) {
  ParsedLine parsed;
  parsed.kind = LineKind::Unparsed;
  ExportLine& line = parsed.line;
  std::size_t at = 0;
  if (!IsWord(tokens, at) || (!tokens[at].quoted && IsKeyword(tokens[at].text))) return parsed;
  bool quoted = tokens[at].quoted;
  line.name = AnsiString(tokens[at++].text);
  if (at < tokens.size() && tokens[at].type == Token::Type::Equal) {
    if (!IsWord(tokens, ++at)) return parsed;
    quoted = quoted || tokens[at].quoted;
    line.internal = AnsiString(tokens[at++].text);
  }
  bool data = false;
  bool constant = false;
  bool said = false;
  while (at < tokens.size()) {
    const Token& token = tokens[at++];
    said = true;
    if (token.type == Token::Type::EqualEqual) {
      if (!IsWord(tokens, at)) return parsed;
      line.exportName = AnsiString(tokens[at++].text);
      continue;
    }
    if (token.type != Token::Type::Word || token.quoted) return parsed;
    if (token.text.starts_with('@')) {
      std::string_view digits = token.text.substr(1);
      if (digits.empty()) {
        if (!IsWord(tokens, at) || tokens[at].quoted) return parsed;
        digits = tokens[at++].text;
      }
      if (!ParseOrdinal(digits, line.ordinal)) return parsed;
      line.hasOrdinal = true;
      if (at < tokens.size() && tokens[at].Is(kNoName)) {
        line.noName = true;
        ++at;
      }
    } else if (token.text == kData) {
      data = true;
    } else if (token.text == kConstant) {
      constant = true;
    } else if (token.text == kPrivate) {
      line.isPrivate = true;
    } else {
      return parsed;
    }
  }
  // Constant data wins over data, whichever comes first, as the librarians
  // decide it.
  line.kind = constant ? ImportKind::Const : data ? ImportKind::Data : ImportKind::Code;
  parsed.kind = said || quoted ? LineKind::Export : LineKind::Bare;
  return parsed;
}

bool IsDecorated(std::string_view name) {
  return name.starts_with('?') || name.starts_with('@') ||
         name.find("@@") != std::string_view::npos;
}

// A word the librarians would take for an ordinal after the line before.
bool LooksLikeOrdinal(std::string_view name) {
  if (!name.starts_with('@')) return false;
  for (char c : name.substr(1))
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

ParsedLine ParseLine(std::string_view line) {
  ParsedLine parsed;
  const std::size_t equals = line.find('=');
  if (equals != std::string_view::npos) {
    AnsiString left = Trim(line.substr(0, equals));
    if (left == Trim(line.substr(equals + 1))) {
      parsed.kind = LineKind::Bare;
      parsed.line.internal = left;
      parsed.line.name = std::move(left);
      return parsed;
    }
  }
  // One line's words, in storage kept from line to line: a file of
  // 100,000 lines would otherwise allocate it 100,000 times.
  thread_local std::vector<Token> tokens;
  tokens.clear();
  if (!Lex(line, tokens)) {
    parsed.kind = LineKind::Unparsed;
    return parsed;
  }
  if (tokens.empty()) return parsed;
  if ((tokens[0].Is(kLibrary) || tokens[0].Is(kName)) && IsWord(tokens, 1)) {
    parsed.kind = LineKind::Module;
    parsed.module = ModuleFileName(tokens[1].text,
                                   tokens[0].Is(kLibrary) ? kLibraryExtension : kProgramExtension);
    return parsed;
  }
  return ParseExport(tokens);
}

bool SpellsItsSymbol(std::string_view name) {
  if (name.starts_with('?') || name.starts_with('@')) return true;
  const std::size_t at = name.rfind('@');
  if (at == std::string_view::npos || at == 0 || at + 1 == name.size()) return false;
  return name.substr(at + 1).find_first_not_of("0123456789") == std::string_view::npos;
}

AnsiString SymbolOfName(std::string_view name) {
  return IsDecorated(name) ? AnsiString(name) : "_" + AnsiString(name);
}

std::optional<AnsiString> NameOfSymbol(std::string_view symbol) {
  std::optional<AnsiString> name;
  if (IsDecorated(symbol))
    name = AnsiString(symbol);
  else if (symbol.starts_with('_') && !IsDecorated(symbol.substr(1)))
    name = AnsiString(symbol.substr(1));
  if (name && LooksLikeOrdinal(*name)) name.reset();
  return name;
}

AnsiString ExportNameOfSymbol(std::string_view symbol) { return KillAtExportName(symbol); }

std::optional<AnsiString> GnuKillAtName(std::string_view name) {
  // It prefixes an underscore to every name but a C++ or fastcall one,
  // "a@@b" included, which SymbolOfName takes as decorated already.
  if (!name.starts_with('?') && !name.starts_with('@') && name.find("@@") != std::string_view::npos)
    return std::nullopt;
  if (name.starts_with('@')) name.remove_prefix(1);
  const std::size_t at = name.rfind('@');
  if (at != std::string_view::npos && at + 1 < name.size() && IsDigit(name[at + 1]))
    name = name.substr(0, at);
  return AnsiString(name);
}

std::optional<AnsiString> Word(std::string_view text, bool quote) {
  if (!DefWordCanHold(text)) return std::nullopt;
  bool bare = !quote && !text.empty() && !IsDigit(text.front()) && !IsKeyword(text);
  for (char c : text) bare = bare && StandsBare(c);
  if (bare) return AnsiString(text);
  if (text.find(kQuote) == std::string_view::npos) return kQuote + AnsiString(text) + kQuote;
  // No quoting holds a quote; llvm-dlltool reads such a word bare.
  if (quote) return std::nullopt;
  return AnsiString(text);
}

}  // namespace def
