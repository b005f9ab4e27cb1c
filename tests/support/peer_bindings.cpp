#include "tests/support/peer_bindings.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <tuple>

#include "tests/support/archive_members.h"
#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {

constexpr std::string_view kImp = "__imp_";

std::string ZString(const Bytes& b, std::size_t at) {
  std::string s;
  for (; at < b.size() && b[at] != 0; ++at) s.push_back(static_cast<char>(b[at]));
  return s;
}

bool IsShortImport(const Bytes& d) { return d.size() >= 20 && Le16(d, 0) == 0 && Le16(d, 2) == 0xFFFF; }

// One "File: ... Format: COFF-import-file" block of llvm-readobj.
struct ReadobjImport {
  std::string dll, type, nameType, exportName;
  std::vector<std::string> symbols;
};

std::vector<ReadobjImport> ParseReadobj(const std::string& listing) {
  std::vector<ReadobjImport> imports;
  std::istringstream in(listing);
  std::string file;
  bool inImport = false;
  for (std::string line; std::getline(in, line);) {
    auto value = [&line](std::string_view key) { return line.substr(key.size()); };
    if (line.rfind("File: ", 0) == 0) {
      file = value("File: ");
      inImport = false;
    } else if (line.rfind("Format: COFF-import-file", 0) == 0) {  // "-i386", "-x86-64", ...
      imports.push_back({file, {}, {}, {}, {}});
      inImport = true;
    } else if (inImport && line.rfind("Type: ", 0) == 0) {
      imports.back().type = value("Type: ");
    } else if (inImport && line.rfind("Name type: ", 0) == 0) {
      imports.back().nameType = value("Name type: ");
    } else if (inImport && line.rfind("Export name: ", 0) == 0) {
      imports.back().exportName = value("Export name: ");
    } else if (inImport && line.rfind("Symbol: ", 0) == 0) {
      imports.back().symbols.push_back(value("Symbol: "));
    }
  }
  return imports;
}

// A COFF object's sections and symbols, as far as an import needs them.
struct Object {
  struct Section {
    std::string name;
    std::uint32_t raw = 0, size = 0, relocs = 0, relocCount = 0;
  };
  struct Symbol {
    std::string name;
    std::uint32_t value = 0;
    std::int16_t section = 0;
  };
  std::vector<Section> sections;
  std::vector<Symbol> symbols;  // by symbol-table index (aux records left empty)
};

Object ParseObject(const Bytes& d) {
  Object o;
  const std::uint32_t sections = Le16(d, 2), symbolsAt = Le32(d, 8), symbolCount = Le32(d, 12);
  const std::size_t stringsAt = symbolsAt + 18 * std::size_t{symbolCount};
  auto nameAt = [&](std::size_t at) {
    if (Le32(d, at) == 0) return ZString(d, stringsAt + Le32(d, at + 4));
    std::string s(reinterpret_cast<const char*>(&d.at(at)), 8);
    return s.substr(0, s.find('\0'));
  };
  const std::size_t headersAt = 20 + std::size_t{Le16(d, 16)};
  for (std::uint32_t i = 0; i < sections; ++i) {
    const std::size_t h = headersAt + 40 * std::size_t{i};
    std::string name = nameAt(h);
    if (!name.empty() && name[0] == '/') name = ZString(d, stringsAt + std::stoul(name.substr(1)));
    o.sections.push_back({name, Le32(d, h + 20), Le32(d, h + 16), Le32(d, h + 24), Le16(d, h + 32)});
  }
  o.symbols.resize(symbolCount);
  for (std::uint32_t i = 0; i < symbolCount; ++i) {
    const std::size_t s = symbolsAt + 18 * std::size_t{i};
    o.symbols[i] = {nameAt(s), Le32(d, s + 8), static_cast<std::int16_t>(Le16(d, s + 12))};
    i += d.at(s + 17);
  }
  return o;
}

// Where a 32-bit field at offset within section points: the target
// section's number and the offset in it (the relocation's symbol plus the
// field's addend). -1 when no relocation covers the field.
std::pair<int, std::uint32_t> Target(const Bytes& d, const Object& o, int section, std::uint32_t offset) {
  const Object::Section& s = o.sections.at(static_cast<std::size_t>(section - 1));
  for (std::uint32_t r = 0; r < s.relocCount; ++r) {
    const std::size_t at = s.relocs + 10 * std::size_t{r};
    if (Le32(d, at) != offset) continue;
    const Object::Symbol& target = o.symbols.at(Le32(d, at + 4));
    return {target.section, target.value + Le32(d, s.raw + offset)};
  }
  return {-1, 0};
}

std::string TextAt(const Bytes& d, const Object& o, int section, std::uint32_t offset) {
  if (section < 1 || static_cast<std::size_t>(section) > o.sections.size()) return {};
  return ZString(d, o.sections[static_cast<std::size_t>(section - 1)].raw + offset);
}

// A long-format import object: nothing when it holds no "__imp_" symbol.
std::vector<PeerBinding> LongImports(const Bytes& d, std::string* gnuDll) {
  std::vector<PeerBinding> found;
  if (d.size() < 20) return found;
  const std::uint16_t machine = Le16(d, 0);
  if (machine != 0x014C && machine != 0x8664 && machine != 0xAA64) return found;
  const bool wide = machine != 0x014C;
  const Object o = ParseObject(d);
  for (const Object::Section& s : o.sections)
    if (s.name == ".idata$7")
      for (const Object::Symbol& sym : o.symbols)
        if (sym.name.size() > 6 && sym.name.substr(sym.name.size() - 6) == "_iname" && sym.section > 0)
          *gnuDll = TextAt(d, o, sym.section, sym.value);
  for (const Object::Symbol& imp : o.symbols) {
    if (imp.name.rfind(kImp, 0) != 0 || imp.section <= 0) continue;
    PeerBinding b;
    b.symbol = imp.name.substr(kImp.size());
    const Object::Section& slots = o.sections.at(static_cast<std::size_t>(imp.section - 1));
    const std::uint32_t slot = Le32(d, slots.raw + imp.value);
    // A 64-bit slot's ordinal flag is the top bit of its high half.
    const bool byOrdinal = wide ? (Le32(d, slots.raw + imp.value + 4) & 0x80000000u) != 0
                                : (slot & 0x80000000u) != 0;
    if (byOrdinal) {
      b.lookup = "@" + std::to_string(slot & 0xFFFF);
    } else {
      const auto [section, at] = Target(d, o, imp.section, imp.value);
      b.lookup = TextAt(d, o, section, at + 2);
    }
    const bool thunk = std::any_of(o.symbols.begin(), o.symbols.end(), [&](const Object::Symbol& s) {
      return s.name == b.symbol && s.section > 0;
    });
    b.kind = thunk ? "code" : "data";
    for (std::size_t i = 0; i < o.sections.size(); ++i) {
      if (o.sections[i].name != ".idata$2") continue;
      const auto [section, at] = Target(d, o, static_cast<int>(i + 1), 12);
      b.dll = TextAt(d, o, section, at);
    }
    found.push_back(b);
  }
  return found;
}

}  // namespace

bool operator==(const PeerBinding& a, const PeerBinding& b) {
  return std::tie(a.symbol, a.lookup, a.kind, a.dll) == std::tie(b.symbol, b.lookup, b.kind, b.dll);
}

bool operator<(const PeerBinding& a, const PeerBinding& b) {
  return std::tie(a.symbol, a.lookup, a.kind, a.dll) < std::tie(b.symbol, b.lookup, b.kind, b.dll);
}

void PrintTo(const PeerBinding& b, std::ostream* os) {
  *os << b.symbol << " -> " << b.dll << "!" << b.lookup << " (" << b.kind << ")";
}

PeerBindings ReadLibraryBindings(const std::string& library) {
  PeerBindings result;
  const ::testing::AssertionResult installed = Installed({Peer("llvm-readobj")});
  if (!installed) {
    result.error = installed.message();
    return result;
  }
  std::string listing;
  if (RunCommand(Peer("llvm-readobj") + " '" + library + "' 2>&1", &listing) != 0) {
    result.error = "llvm-readobj could not read " + library + ":\n" + listing;
    return result;
  }
  const std::vector<ReadobjImport> shortImports = ParseReadobj(listing);
  try {
    std::size_t next = 0;
    std::string gnuDll;
    std::vector<std::size_t> undecided;  // long imports that name no DLL
    for (const ArchiveMember& m : SplitArchive(ReadFileBytes(library))) {
      if (m.name == "/" || m.name == "//") continue;
      if (!IsShortImport(m.data)) {
        for (PeerBinding& b : LongImports(m.data, &gnuDll)) {
          if (b.dll.empty()) undecided.push_back(result.bindings.size());
          result.bindings.push_back(b);
        }
        continue;
      }
      if (next >= shortImports.size()) throw std::runtime_error("llvm-readobj listed fewer imports");
      const ReadobjImport& r = shortImports[next++];
      PeerBinding b;
      for (const std::string& s : r.symbols)
        if (s.rfind(kImp, 0) == 0) b.symbol = s.substr(kImp.size());
      b.kind = r.type;
      b.dll = r.dll;
      if (r.nameType == "ordinal") b.lookup = "@" + std::to_string(Le16(m.data, 16));
      else if (!r.exportName.empty()) b.lookup = r.exportName;
      else throw std::runtime_error("no export name for name type " + r.nameType);
      result.bindings.push_back(b);
    }
    for (std::size_t i : undecided) result.bindings[i].dll = gnuDll;
  } catch (const std::exception& e) {
    result.error = library + ": " + e.what();
    return result;
  }
  result.ok = true;
  return result;
}

std::vector<PeerBinding> LoadBindingsTsv(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::vector<PeerBinding> bindings;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::vector<std::string> columns;
    std::istringstream fields(line);
    for (std::string column; std::getline(fields, column, '\t');) columns.push_back(column);
    if (columns.size() != 3) throw std::runtime_error(path + ": not three columns: " + line);
    bindings.push_back({columns[0], columns[1], columns[2], {}});
  }
  return bindings;
}

std::vector<PeerBinding> WithoutDlls(std::vector<PeerBinding> bindings) {
  for (PeerBinding& b : bindings) b.dll.clear();
  std::sort(bindings.begin(), bindings.end());
  return bindings;
}

std::set<std::string> DllExports(const std::string& dll) {
  std::string listing;
  if (RunCommand(Peer("llvm-readobj") + " --coff-exports '" + dll + "'", &listing) != 0) return {};
  std::set<std::string> exports;
  std::istringstream in(listing);
  for (std::string line; std::getline(in, line);) {
    const std::size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos) continue;
    const std::string text = line.substr(first);
    if (text.rfind("Ordinal: ", 0) == 0) exports.insert("@" + text.substr(9));
    if (text.rfind("Name: ", 0) == 0 && text.size() > 6) exports.insert(text.substr(6));
  }
  return exports;
}
