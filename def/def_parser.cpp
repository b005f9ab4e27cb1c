#include "def/def_parser.h"

#include <array>
#include <string>

#include "model/decorated_names.h"
#include "model/form_losses.h"
#include "platform/file_api.h"

namespace def {

namespace {

constexpr char kQuote = '"';
constexpr std::string_view kSeparators = "=,;";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::uint32_t kLargestOrdinal = 0xFFFF;

// Words the librarians take as keywords wherever they stand bare, and the
// statements that open a line: a name spelt so goes in quotes.
constexpr std::array<std::string_view, 18> kKeywords = {
    "BASE",    "CODE",     "CONSTANT", "DATA",    "DESCRIPTION", "EXETYPE",
    "EXPORTAS", "EXPORTS", "HEAPSIZE", "IMPORTS", "LIBRARY",     "NAME",
    "NONAME",  "PRIVATE",  "SECTIONS", "STACKSIZE", "STUB",      "VERSION"};
constexpr std::string_view kLibrary = "LIBRARY";
constexpr std::string_view kName = "NAME";
constexpr std::string_view kExports = kExportsKeyword;
constexpr std::string_view kSections = "SECTIONS";
constexpr std::string_view kImports = "IMPORTS";
constexpr std::string_view kNoName = "NONAME";
constexpr std::string_view kData = "DATA";
constexpr std::string_view kConstant = "CONSTANT";
constexpr std::string_view kPrivate = "PRIVATE";
constexpr std::string_view kExportAs = "EXPORTAS";
// The keywords an export takes after its name.
constexpr std::array<std::string_view, 5> kAttributes = {kNoName, kData, kConstant, kPrivate, kExportAs};
constexpr std::string_view kLibraryExtension = ".dll";
constexpr std::string_view kProgramExtension = ".exe";

// The statements that open a line. Those after EXPORTS say nothing an
// import library holds: they are read and left aside, and so are the
// lines of SECTIONS and IMPORTS (what the DLL imports, as GNU dlltool
// reads them).
constexpr std::array<std::string_view, 13> kStatements = {
    "LIBRARY", "NAME",     "EXPORTS",   "SECTIONS", "IMPORTS", "DESCRIPTION", "CODE",
    "DATA",    "HEAPSIZE", "STACKSIZE", "STUB",     "EXETYPE", "VERSION"};

// What separates words, as llvm-dlltool takes it; any other control
// character is part of a word.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// What GNU dlltool reads as part of a bare name; anything else ends it (or
// fails the line), so such a name goes in quotes, which both librarians
// read whole.
bool StandsBare(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) ||
         std::string_view("_$:?@/+<>-").find(c) != std::string_view::npos;
}

template <std::size_t N>
bool IsOneOf(std::string_view word, const std::array<std::string_view, N>& words) {
  for (std::string_view w : words)
    if (word == w) return true;
  return false;
}

struct Token {
  enum class Type : std::uint8_t { Word, Equal, EqualEqual, Comma } type = Type::Word;
  std::string_view text;
  bool quoted = false;

  bool IsWord() const { return type == Type::Word; }
  bool Is(std::string_view keyword) const { return IsWord() && !quoted && text == keyword; }
};

// Splits a line into words, '=', "==" and ','; a comment ends it. False
// on a quote that is never closed.
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

AnsiString ModuleFileName(std::string_view name, std::string_view defaultExtension) {
  AnsiString file(name);
  const std::size_t base = name.find_last_of("/\\");
  const std::string_view baseName = base == std::string_view::npos ? name : name.substr(base + 1);
  if (!file.empty() && baseName.find('.') == std::string_view::npos) file += defaultExtension;
  return file;
}

AnsiString Shown(const Token& token) { return "'" + AnsiString(token.text) + "'"; }

// Reads the text a line at a time; an export stays open to the one-word
// attributes of the lines after it until another word or statement
// comes.
class Parser {
 public:
  explicit Parser(Statements& statements) : out_(statements) {}

  Outcome Line(std::string_view line) {
    ++number_;
    tokens_.clear();
    if (number_ == 1 && line.starts_with(kByteOrderMark))
      return Refuse("a byte-order mark, which the librarians take for part of a word: save the file without it");
    if (!Lex(line, tokens_)) return Refuse("a quote is never closed");
    if (tokens_.empty()) return Outcome::Done();
    const Token& first = tokens_[0];
    const bool statement = !first.quoted && IsOneOf(first.text, kStatements) &&
                           !(first.text == kData && open_);
    if (statement) return Statement();
    switch (where_) {
      case Where::Top: return Refuse(Shown(first) + " is no statement of a .def file");
      case Where::Lines: return Outcome::Done();
      case Where::Exports: break;
    }
    return Exports(0);
  }

 private:
  // Lines: those of SECTIONS or IMPORTS.
  enum class Where : std::uint8_t { Top, Exports, Lines };

  Outcome Refuse(const std::string& why) const {
    return Outcome::Refused("line " + std::to_string(number_) + ": " + why);
  }

  Outcome Statement() {
    const Token& first = tokens_[0];
    Close();
    closedBy_.clear();
    if (first.text == kExports) {
      where_ = Where::Exports;
      return Exports(1);
    }
    where_ = first.text == kSections || first.text == kImports ? Where::Lines : Where::Top;
    const bool library = first.text == kLibrary;
    // The first that names a module names the DLL ("LIBRARY BASE=..."
    // names none).
    if ((library || first.text == kName) && !moduleSeen_ && tokens_.size() > 1 && tokens_[1].IsWord() &&
        !tokens_[1].Is("BASE")) {
      moduleSeen_ = true;
      out_.module = ModuleFileName(tokens_[1].text, library ? kLibraryExtension : kProgramExtension);
    }
    return Outcome::Done();
  }

  // An attribute needs the export it belongs to.
  Outcome Unattached(const Token& token) const {
    if (!closedBy_.empty())
      return Refuse(Shown(token) + " after " + closedBy_ + ": EXPORTAS and its name end the export");
    return Refuse(Shown(token) + " follows no export");
  }

  Outcome Exports(std::size_t at) {
    ExportLine* line = open_ ? &out_.exports.back() : nullptr;
    while (at < tokens_.size()) {
      const Token& token = tokens_[at++];
      const Token* next = at < tokens_.size() ? &tokens_[at] : nullptr;
      // NONAME belongs to the ordinal right before it.
      const bool afterOrdinal = afterOrdinal_;
      afterOrdinal_ = false;
      if (token.type == Token::Type::EqualEqual) {
        if (!line) return Unattached(token);
        if (!next || !next->IsWord()) return Refuse("'==' needs the name the loader looks up, on its line");
        line->exportName = AnsiString(next->text);
        ++at;
        continue;
      }
      if (!token.IsWord()) return Refuse(Shown(token) + " out of place");
      if (!token.quoted && token.text.starts_with('@') &&
          (AllDigits(token.text.substr(1)) || token.text.size() == 1)) {
        if (!line) return Unattached(token);
        std::string_view digits = token.text.substr(1);
        if (digits.empty()) {
          if (!next || !next->IsWord() || next->quoted || !AllDigits(next->text))
            return Refuse("'@' needs the ordinal after it, on its line");
          digits = next->text;
          ++at;
        }
        std::uint32_t value = 0;
        for (char c : digits) {
          value = value * 10 + static_cast<std::uint32_t>(c - '0');
          if (value > kLargestOrdinal) return Refuse("ordinal " + AnsiString(digits) + " is above 65535");
        }
        line->hasOrdinal = true;
        line->ordinal = static_cast<std::uint16_t>(value);
        afterOrdinal_ = true;
        continue;
      }
      if (!token.quoted && IsOneOf(token.text, kKeywords)) {
        if (!IsOneOf(token.text, kAttributes)) return Refuse(Shown(token) + " out of place");
        if (!line) return Unattached(token);
        if (token.text == kNoName) {
          if (!afterOrdinal) return Refuse("NONAME needs the ordinal before it");
          line->noName = true;
        } else if (token.text == kData) {
          data_ = true;
        } else if (token.text == kConstant) {
          constant_ = true;
        } else if (token.text == kPrivate) {
          line->isPrivate = true;
        } else if (token.text == kExportAs) {
          // Any word is the name, even a keyword's: what the DLL exports.
          if (!next || !next->IsWord()) return Refuse("EXPORTAS needs the name the DLL exports, on its line");
          line->exportName = AnsiString(next->text);
          ++at;
          Close();
          closedBy_ = "EXPORTAS " + AnsiString(next->text);
          line = nullptr;
        }
        continue;
      }
      // A name: the next export.
      Close();
      closedBy_.clear();
      ExportLine& added = out_.exports.emplace_back();
      added.name = AnsiString(token.text);
      if (next && next->type == Token::Type::Equal) {
        if (at + 1 >= tokens_.size() || !tokens_[at + 1].IsWord())
          return Refuse("'=' needs the internal name after it, on its line");
        added.internal = AnsiString(tokens_[at + 1].text);
        at += 2;
      }
      open_ = true;
      line = &added;
    }
    return Outcome::Done();
  }

 public:
  // Ends the open export: constant data wins over data, whichever comes
  // first, as the librarians decide it.
  void Close() {
    if (open_) {
      ExportLine& line = out_.exports.back();
      line.kind = constant_ ? ImportKind::Const : data_ ? ImportKind::Data : ImportKind::Code;
    }
    open_ = afterOrdinal_ = data_ = constant_ = false;
  }

 private:
  Statements& out_;
  std::size_t number_ = 0;
  Where where_ = Where::Top;
  bool moduleSeen_ = false;
  // The last export takes attributes yet.
  bool open_ = false;
  bool afterOrdinal_ = false;
  bool data_ = false;
  bool constant_ = false;
  // What closed the last export early ("EXPORTAS x"), for the reason of a
  // refusal.
  std::string closedBy_;
  // One line's words, in storage kept from line to line: a file of
  // 100,000 lines would otherwise allocate it 100,000 times.
  std::vector<Token> tokens_;
};

bool IsDecorated(std::string_view name) {
  return name.starts_with('?') || name.starts_with('@') ||
         name.find("@@") != std::string_view::npos;
}

}  // namespace

Outcome Parse(std::string_view text, Statements& statements) {
  statements = {};
  Parser parser(statements);
  for (std::string line; NextLine(text, line);)
    if (Outcome read = parser.Line(line); !read) return read;
  parser.Close();
  return Outcome::Done();
}

AnsiString SymbolOfName(std::string_view name, Dialect dialect) {
  if (!dialect.underscores) return AnsiString(name);
  const bool whole = dialect.rules == NameRules::Msvc
                         ? name.starts_with('?') || name.find('@') != std::string_view::npos
                         : IsDecorated(name);
  return whole ? AnsiString(name) : "_" + AnsiString(name);
}

std::optional<AnsiString> NameOfSymbol(std::string_view symbol, bool decorated) {
  std::optional<AnsiString> name;
  if (!decorated || IsDecorated(symbol))
    name = AnsiString(symbol);
  else if (symbol.starts_with('_') && !IsDecorated(symbol.substr(1)))
    name = AnsiString(symbol.substr(1));
  if (name && name->starts_with('@') && (name->size() == 1 || AllDigits(name->substr(1)))) name.reset();
  return name;
}

AnsiString ExportNameOfSymbol(std::string_view symbol, NameRules rules) {
  switch (rules) {
    case NameRules::KillAt: return KillAtExportName(symbol);
    case NameRules::Msvc:
      if (symbol.starts_with('_') && symbol.find('@') != std::string_view::npos) return AnsiString(symbol);
      break;
    case NameRules::Mingw: break;
  }
  return AnsiString(symbol.starts_with('_') ? symbol.substr(1) : symbol);
}

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
  bool bare = !quote && !text.empty() && !IsDigit(text.front()) && !IsOneOf(text, kKeywords);
  for (char c : text) bare = bare && StandsBare(c);
  if (bare) return AnsiString(text);
  if (text.find(kQuote) == std::string_view::npos) return kQuote + AnsiString(text) + kQuote;
  // No quoting holds a quote; llvm-dlltool reads such a word bare.
  if (quote) return std::nullopt;
  return AnsiString(text);
}

}  // namespace def
