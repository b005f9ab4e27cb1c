#include "tests/support/archive_members.h"

#include <stdexcept>

std::vector<ArchiveMember> SplitArchive(const Bytes& file) {
  const std::string signature = "!<arch>\n";
  if (file.size() < signature.size() || std::string(file.begin(), file.begin() + 8) != signature)
    throw std::runtime_error("no archive signature");
  std::vector<ArchiveMember> members;
  std::size_t pos = signature.size();
  while (pos < file.size()) {
    if (file.size() - pos < 60) throw std::runtime_error("member header cut short");
    ArchiveMember m;
    m.headerAt = pos;
    m.header = std::string(reinterpret_cast<const char*>(file.data() + pos), 60);
    if (m.header.substr(58) != "`\n") throw std::runtime_error("bad header end");
    m.name = m.header.substr(0, 16);
    m.name.erase(m.name.find_last_not_of(' ') + 1);
    m.size = std::stoul(m.header.substr(48, 10));
    pos += 60;
    if (file.size() - pos < m.size) throw std::runtime_error("member data cut short");
    m.data.assign(file.begin() + static_cast<std::ptrdiff_t>(pos),
                  file.begin() + static_cast<std::ptrdiff_t>(pos + m.size));
    pos += m.size;
    if (m.size % 2 == 1) {
      if (pos >= file.size() || file[pos] != '\n') throw std::runtime_error("pad byte missing");
      m.padded = true;
      ++pos;
    }
    members.push_back(std::move(m));
  }
  return members;
}

std::uint32_t Le32(const Bytes& b, std::size_t at) {
  return std::uint32_t{b.at(at)} | std::uint32_t{b.at(at + 1)} << 8 |
         std::uint32_t{b.at(at + 2)} << 16 | std::uint32_t{b.at(at + 3)} << 24;
}

std::uint16_t Le16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}

std::uint32_t Be32(const Bytes& b, std::size_t at) {
  return std::uint32_t{b.at(at)} << 24 | std::uint32_t{b.at(at + 1)} << 16 |
         std::uint32_t{b.at(at + 2)} << 8 | std::uint32_t{b.at(at + 3)};
}

std::vector<std::string> NamesFrom(const Bytes& b, std::size_t at) {
  std::vector<std::string> names;
  std::string current;
  for (std::size_t i = at; i < b.size(); ++i) {
    if (b[i] == 0) {
      names.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(b[i]));
    }
  }
  if (!current.empty()) names.push_back(current);
  return names;
}
