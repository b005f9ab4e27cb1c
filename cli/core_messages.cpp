#include "cli/core_messages.h"

#include <cstdio>
#include <utility>

namespace cli {

CoreMessages::CoreMessages() {
  previous_ = SetMessageBoxHandler(
      [this](void*, const std::string& text, const std::string& caption, UINT) {
        ++count_;
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        std::fflush(stderr);
        return IDOK;
      });
}

CoreMessages::~CoreMessages() { SetMessageBoxHandler(std::move(previous_)); }

}  // namespace cli
