#include "coff/coff_records.h"

#include <algorithm>
#include <string>

namespace coff {

namespace {

template <std::size_t N>
void PutField(std::array<char, N>& field, std::string_view text) {
  field.fill(' ');
  std::copy_n(text.begin(), std::min(N, text.size()), field.begin());
}

}  // namespace

MemberHeader MemberHeader::For(std::string_view name, std::int32_t stamp, std::uint64_t dataSize,
                               std::string_view owner, std::string_view mode) {
  MemberHeader h;
  PutField(h.name, name);
  PutField(h.date, std::to_string(stamp));
  PutField(h.userId, owner);
  PutField(h.groupId, owner);
  PutField(h.mode, mode);
  PutField(h.size, std::to_string(dataSize));
  h.end = kEnd;
  return h;
}

std::string_view MemberHeader::Name() const {
  std::string_view text(name.data(), name.size());
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

bool MemberHeader::Size(std::uint64_t& dataSize) const {
  dataSize = 0;
  std::size_t i = 0;
  for (; i < size.size() && size[i] >= '0' && size[i] <= '9'; ++i)
    dataSize = dataSize * 10 + static_cast<std::uint64_t>(size[i] - '0');
  if (i == 0) return false;
  for (; i < size.size(); ++i)
    if (size[i] != ' ') return false;
  return true;
}

bool IsSpecialMemberName(std::string_view name) {
  return !name.empty() && name.front() == '/' &&
         (name.size() == 1 || name[1] < '0' || name[1] > '9');
}

}  // namespace coff
