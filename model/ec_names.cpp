#include "model/ec_names.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }

// Where a C++ name's qualified name ends ("?Foo@Bar@@" of
// "?Foo@Bar@@YAHH@Z"): the place of an ARM64EC body's "$$h". A template's
// arguments are types and values whose own names hold at signs, and a
// back-reference must name a name already seen, so the name is read by
// the rules of Microsoft's name mangling, as far as that end. What is met
// on the way is one of three: the end; a name that breaks off before it
// (no linker makes a body name of it); or a form this reading does not
// follow (a template argument naming a symbol, a local scope), of which
// the end is guessed at the first "@@".
class QualifiedNameEnd {
 public:
  enum class Found { End, Broken, Unread };

  explicit QualifiedNameEnd(std::string_view name) : s_(name), at_(1) {}

  Found Find(std::size_t& end) {
    if (!SymbolName()) return found_;
    end = at_;
    return Found::End;
  }

 private:
  // Names a back-reference can name, each once: at most ten.
  struct Seen {
    std::vector<std::string_view> names;
    std::size_t params = 0;  // function parameter types of more than one letter
  };

  // Each nested template, type or function deepens the reading; past a
  // depth no compiler writes, a name from a hostile file is left unread
  // rather than let it exhaust the stack.
  class Nested {
   public:
    explicit Nested(std::size_t& depth) : depth_(depth) { ++depth_; }
    ~Nested() { --depth_; }
    bool TooDeep() const { return depth_ > 200; }

   private:
    std::size_t& depth_;
  };

  bool Stop(Found why) {
    found_ = why;
    return false;
  }
  bool Broken() { return Stop(Found::Broken); }
  bool Unread() { return Stop(Found::Unread); }
  char Peek(std::size_t ahead = 0) const { return at_ + ahead < s_.size() ? s_[at_ + ahead] : '\0'; }
  bool Take(std::string_view text) {
    if (!s_.substr(at_).starts_with(text)) return false;
    at_ += text.size();
    return true;
  }
  void Remember(std::string_view name) {
    if (seen_.names.size() < 10 && std::find(seen_.names.begin(), seen_.names.end(), name) == seen_.names.end())
      seen_.names.push_back(name);
  }

  bool SymbolName() {
    bool read;
    if (IsDigit(Peek())) read = BackReference();
    else if (Take("?$")) read = Template(false);
    else if (Peek() == '?') read = Operator();
    else read = SimpleName(true);
    return read && Scopes();
  }

  // The enclosing scopes, innermost first, up to the '@' that closes them.
  bool Scopes() {
    while (!Take("@")) {
      bool read;
      if (at_ >= s_.size()) return Broken();
      if (IsDigit(Peek())) read = BackReference();
      else if (Take("?$")) read = Template(true);
      else if (Take("?A")) read = AnonymousNamespace();
      else if (LocalScopeAhead()) return Unread();
      else read = SimpleName(true);
      if (!read) return false;
    }
    return true;
  }

  bool BackReference() {
    if (static_cast<std::size_t>(Peek() - '0') >= seen_.names.size()) return Broken();
    ++at_;
    return true;
  }

  bool SimpleName(bool remember) {
    const std::size_t end = s_.find('@', at_);
    if (end == std::string_view::npos || end == at_) return Broken();
    if (remember) Remember(s_.substr(at_, end - at_));
    at_ = end + 1;
    return true;
  }

  bool AnonymousNamespace() {
    const std::size_t end = s_.find('@', at_);
    if (end == std::string_view::npos) return Broken();
    Remember(s_.substr(at_, end - at_));
    at_ = end + 1;
    return true;
  }

  // "?1?", "?@?" or "?BA@?": a function's local scope, whose whole
  // symbol follows.
  bool LocalScopeAhead() const {
    if (Peek() != '?') return false;
    const std::size_t end = s_.find('?', at_ + 1);
    if (end == std::string_view::npos || end == at_ + 1) return false;
    std::string_view number = s_.substr(at_ + 1, end - at_ - 1);
    if (number.size() == 1) return number[0] == '@' || IsDigit(number[0]);
    if (!number.ends_with('@') || number[0] < 'B' || number[0] > 'P') return false;
    number.remove_suffix(1);
    return std::all_of(number.begin(), number.end(), [](char c) { return c >= 'A' && c <= 'P'; });
  }

  // "?0" constructor ... "?_7" vftable ... "?__K" literal operator.
  bool Operator() {
    ++at_;
    const bool twice = Take("__");
    if (!twice) Take("_");
    const char code = Peek();
    if (!IsDigit(code) && !IsUpper(code)) return Broken();
    ++at_;
    return !(twice && code == 'K') || SimpleName(false);
  }

  // After "?$": the name, its arguments up to their '@', read with
  // back-references of their own; the whole is then a name of the outer
  // scope's.
  bool Template(bool remember) {
    const Nested nested(depth_);
    if (nested.TooDeep()) return Unread();
    const std::size_t start = at_ - 2;
    Seen outer = std::exchange(seen_, {});
    if (!(Peek() == '?' ? Operator() : SimpleName(true))) return false;
    while (!Take("@")) {
      if (at_ >= s_.size()) return Broken();
      if (!TemplateArgument()) return false;
    }
    seen_ = std::move(outer);
    if (remember) Remember(s_.substr(start, at_ - start));
    return true;
  }

  bool TemplateArgument() {
    if (Take("$S") || Take("$$V") || Take("$$$V") || Take("$$Z")) return true;  // packs
    if (Take("$$B")) return Type();
    if (Take("$0")) return Number();
    if (Take("$F")) return Number() && Number();
    if (Take("$G")) return Number() && Number() && Number();
    if (Take("$$Y")) return Unread();
    if (Peek() == '$' && Peek(1) != '$') {
      // A symbol or a member of one ("$1?x@@3HA"): its whole type follows.
      if (std::string_view("1EHIJ").find(Peek(1)) != std::string_view::npos) return Unread();
      return Broken();
    }
    return Type();
  }

  // '?' for a negative one; a digit for 1 to 10; else hex digits 'A' to
  // 'P' closed by '@'.
  bool Number(std::uint64_t* value = nullptr) {
    const bool negative = Take("?");
    std::uint64_t n = 0;
    if (IsDigit(Peek())) {
      n = static_cast<std::uint64_t>(Peek() - '0') + 1;
      ++at_;
    } else {
      for (; Peek() >= 'A' && Peek() <= 'P'; ++at_) n = (n << 4) | static_cast<std::uint64_t>(Peek() - 'A');
      if (!Take("@")) return Broken();
    }
    if (value) *value = negative ? 0 : n;
    return true;
  }

  bool Type() {
    const Nested nested(depth_);
    if (nested.TooDeep()) return Unread();
    const char c = Peek();
    if (std::string_view("CDEFGHIJKMNOX").find(c) != std::string_view::npos) {
      ++at_;
      return true;
    }
    if (c == '_') {
      if (std::string_view("JKNPQSTUW").find(Peek(1)) == std::string_view::npos) return Broken();
      at_ += 2;
      return true;
    }
    if (c == 'T' || c == 'U' || c == 'V' || (c == 'W' && Peek(1) == '4')) {
      at_ += c == 'W' ? 2 : 1;
      return TypeName();
    }
    if (c == 'A' || c == 'P' || c == 'Q' || c == 'R' || c == 'S') {
      ++at_;
      return Pointer();
    }
    if (c == 'Y') {
      ++at_;
      std::uint64_t rank = 0;
      if (!Number(&rank)) return false;
      if (rank == 0) return Broken();
      for (std::uint64_t i = 0; i < rank; ++i)
        if (!Number()) return false;
      return Type();
    }
    if (Take("$$T")) return true;
    if (Take("$$Q")) return Pointer();
    if (Take("$$C")) return Qualifiers() && Type();
    if (Take("$$A6")) return Function(false);
    if (Take("$$A8@@")) return Function(true);
    return Broken();
  }

  bool TypeName() {
    bool read;
    if (IsDigit(Peek())) read = BackReference();
    else if (Take("?$")) read = Template(true);
    else read = SimpleName(true);
    return read && Scopes();
  }

  // After a pointer's or a reference's letter.
  bool Pointer() {
    if (Take("6")) return Function(false);
    if (Take("8")) {
      if (!TypeName()) return false;
      return Function(true);
    }
    SkipPointerExtensions();
    if (std::string_view("QRST").find(Peek()) != std::string_view::npos) {
      ++at_;
      return TypeName() && Type();
    }
    return Qualifiers() && Type();
  }

  // __ptr64, __unaligned, __restrict.
  void SkipPointerExtensions() {
    while (Take("E") || Take("F") || Take("I")) {
    }
  }

  bool Qualifiers() {
    if (Peek() < 'A' || Peek() > 'D') return Broken();
    ++at_;
    return true;
  }

  bool Function(bool member) {
    if (member) {
      SkipPointerExtensions();
      if (!Take("G")) Take("H");  // & or && after the member function
      if (!Qualifiers()) return false;
    }
    if (!IsUpper(Peek())) return Broken();  // the calling convention
    ++at_;
    if (!Take("@") && !(Take("?") ? Qualifiers() && Type() : Type())) return false;
    if (!Take("X")) {
      while (!Take("@") && !Take("Z")) {
        if (at_ >= s_.size()) return Broken();
        if (IsDigit(Peek())) {
          if (static_cast<std::size_t>(Peek() - '0') >= seen_.params) return Broken();
          ++at_;
          continue;
        }
        const std::size_t start = at_;
        if (!Type()) return false;
        if (at_ - start > 1 && seen_.params < 10) ++seen_.params;
      }
    }
    return Take("_E") || Take("Z") || Broken();
  }

  std::string_view s_;
  std::size_t at_;
  Found found_ = Found::Broken;
  Seen seen_;
  std::size_t depth_ = 0;
};

bool IsHashedName(std::string_view name) { return name.starts_with("??@"); }

// Where the body's "$$h" goes; nullopt when the name gives no body name.
std::optional<std::size_t> MarkerPlace(std::string_view name) {
  // A name too long for the object format, replaced by its hash
  // ("??@...@"), takes the marker and an '@' at its end.
  if (IsHashedName(name)) {
    if (!name.ends_with('@')) return std::nullopt;
    return name.size();
  }
  std::size_t end = 0;
  switch (QualifiedNameEnd(name).Find(end)) {
    case QualifiedNameEnd::Found::End: return end;
    case QualifiedNameEnd::Found::Broken: return std::nullopt;
    case QualifiedNameEnd::Found::Unread: break;
  }
  // Guessed: after the first "@@", unless that "@@" opens "@@@" (an unscoped name whose '@' is followed
  // by an empty scope list); failing that, after the first '@'.
  std::size_t at = name.find("@@");
  if (at != std::string_view::npos && at != name.find("@@@")) return at + 2;
  at = name.find('@');
  return at == std::string_view::npos ? name.size() : at + 1;
}

}  // namespace

std::string EcBodyName(std::string_view name) {
  if (name.empty() || name.starts_with(kEcFunctionLead)) return std::string(name);
  if (name.front() != '?') return std::string(kEcFunctionLead) + std::string(name);
  if (name.find(kEcCppMarker) != std::string_view::npos) return std::string(name);
  const std::optional<std::size_t> at = MarkerPlace(name);
  if (!at) return std::string(name);
  std::string body(name.substr(0, *at));
  body += kEcCppMarker;
  if (IsHashedName(name)) body += '@';
  body += name.substr(*at);
  return body;
}

std::string EcCallName(std::string_view name) {
  if (name.starts_with(kEcFunctionLead)) return std::string(name.substr(kEcFunctionLead.size()));
  if (!name.starts_with('?')) return std::string(name);
  if (IsHashedName(name) && name.ends_with(std::string(kEcCppMarker) + "@"))
    return std::string(name.substr(0, name.size() - kEcCppMarker.size() - 1));
  const std::size_t marker = name.find(kEcCppMarker);
  if (marker == std::string_view::npos) return std::string(name);
  return std::string(name.substr(0, marker)) + std::string(name.substr(marker + kEcCppMarker.size()));
}

std::string EcNameFault(std::string_view name) {
  if (name == kEcFunctionLead) return "nothing follows its '#'";
  if (!name.starts_with('?')) return {};
  const std::size_t marker = name.find(kEcCppMarker);
  if (marker != std::string_view::npos)
    return marker + kEcCppMarker.size() == name.size() ? "nothing follows its \"$$h\", so it gives no x64 name"
                                                        : std::string();
  if (MarkerPlace(name)) return {};
  return "its C++ qualified name is cut short or malformed, so no ARM64EC body name can be made of it";
}

