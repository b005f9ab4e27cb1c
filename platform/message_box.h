// MessageBoxA stand-in. Every call is handed to one installable handler:
// the window shows a dialog, the command line prints a line, tests record.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/windows_types.h"

// Texts are UTF-8 (the captions in the sources are; file names are paths
// as the system gives them).
using MessageBoxHandler = std::function<int(void* owner, const std::string& text,
                                            const std::string& caption, UINT style)>;

int MessageBoxA(void* owner, const std::string& text, const std::string& caption, UINT style);

// Installs a handler and returns the one it replaces. An empty handler
// restores the default, which prints "caption: text" on stderr.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// Records every message box shown while it lives; restores the previous
// handler when it goes. For tests and for callers that want the texts.
class MessageBoxRecorder {
 public:
  struct Call {
    void* owner;
    std::string text;
    std::string caption;
    UINT style;
  };

  MessageBoxRecorder();
  ~MessageBoxRecorder();
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

  const std::vector<Call>& Calls() const { return calls_; }
  void Clear() { calls_.clear(); }

 private:
  std::vector<Call> calls_;
  MessageBoxHandler previous_;
};
