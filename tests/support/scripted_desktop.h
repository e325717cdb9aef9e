#pragma once
// A desktop for tests: answers dialogs from queues (a default when a queue is empty) and
// records every call in order.
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop.h"

namespace mw::test {

using platform::MessageAnswer;
using platform::MessageButtons;

template <typename T>
T takeFront(std::deque<T>& queue, T fallback) {
  if (queue.empty()) return fallback;
  T value = std::move(queue.front());
  queue.pop_front();
  return value;
}

class ScriptedDesktop : public platform::Desktop {
 public:
  struct Call {
    std::string
        what;    // "messageBox", "openFile", "chooseFolder", "chooseColour", "openAddress", "openFolder"
    Text text;   // message, filter, address or path
    Text title;  // message box title
    MessageButtons buttons = MessageButtons::Ok;
  };

  std::vector<Call> calls;
  std::deque<MessageAnswer> answers;          // default Ok
  std::deque<std::optional<Text>> files;      // default cancelled
  std::deque<std::optional<Text>> folders;    // default cancelled
  std::deque<std::optional<QColor>> colours;  // default cancelled
  bool opens = true;

  MessageAnswer messageBox(QWidget*, const Text& message, const Text& title,
                           MessageButtons buttons) override {
    calls.push_back({"messageBox", message, title, buttons});
    const MessageAnswer answer = takeFront(answers, MessageAnswer::Ok);
    // An OK-only box cannot be cancelled.
    return buttons == MessageButtons::Ok ? MessageAnswer::Ok : answer;
  }
  std::optional<Text> openFile(QWidget*, const Text& filter) override {
    calls.push_back({"openFile", filter, {}, {}});
    return takeFront<std::optional<Text>>(files, std::nullopt);
  }
  std::optional<Text> chooseFolder(QWidget*, const Text& startIn) override {
    calls.push_back({"chooseFolder", startIn, {}, {}});
    return takeFront<std::optional<Text>>(folders, std::nullopt);
  }
  std::optional<QColor> chooseColour(QWidget*, QColor) override {
    calls.push_back({"chooseColour", {}, {}, {}});
    return takeFront<std::optional<QColor>>(colours, std::nullopt);
  }
  bool openAddress(const Text& address) override {
    calls.push_back({"openAddress", address, {}, {}});
    return opens;
  }
  bool openFolder(const Text& path) override {
    calls.push_back({"openFolder", path, {}, {}});
    return opens;
  }
};

}  // namespace mw::test
