#include "platform/message_box.h"

#include <cstdio>
#include <utility>

namespace {

int PrintToStderr(void*, const std::string& text, const std::string& caption, UINT) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
  return IDOK;
}

MessageBoxHandler& CurrentHandler() {
  static MessageBoxHandler handler = PrintToStderr;
  return handler;
}

}  // namespace

int MessageBoxA(void* owner, const std::string& text, const std::string& caption, UINT style) {
  return CurrentHandler()(owner, text, caption, style);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  MessageBoxHandler previous = std::move(CurrentHandler());
  CurrentHandler() = handler ? std::move(handler) : MessageBoxHandler(PrintToStderr);
  return previous;
}

MessageBoxRecorder::MessageBoxRecorder() {
  previous_ = SetMessageBoxHandler(
      [this](void* owner, const std::string& text, const std::string& caption, UINT style) {
        calls_.push_back({owner, text, caption, style});
        return IDOK;
      });
}

MessageBoxRecorder::~MessageBoxRecorder() { SetMessageBoxHandler(std::move(previous_)); }
