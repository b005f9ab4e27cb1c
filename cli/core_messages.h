// The core tells the user about a file it cannot open or write through a
// message box. On the command line each becomes one line "caption: text"
// on stderr; they are counted too, so that a command can tell that the
// core has already explained a failure and not explain it again.
#pragma once

#include <cstddef>

#include "platform/message_box.h"

namespace cli {

class CoreMessages {
 public:
  CoreMessages();
  ~CoreMessages();
  CoreMessages(const CoreMessages&) = delete;
  CoreMessages& operator=(const CoreMessages&) = delete;

  std::size_t Count() const { return count_; }

 private:
  std::size_t count_ = 0;
  MessageBoxHandler previous_;
};

}  // namespace cli
