// The suite message service where there is no COM class registry: a handler the host registers.
#include <mutex>

#include "service/suite_message_service.h"

namespace vok {
namespace {

std::mutex& HandlerMutex() {
  static std::mutex mutex;
  return mutex;
}

std::function<void(const std::string&)>& Handler() {
  static std::function<void(const std::string&)> handler;
  return handler;
}

}  // namespace

bool ShowSuiteMessage(const std::string& text) {
  std::function<void(const std::string&)> handler;
  {
    std::lock_guard lock(HandlerMutex());
    handler = Handler();
  }
  // Called outside the lock, so a handler may replace itself.
  if (!handler) return false;
  handler(text);
  return true;
}

void SetSuiteMessageHandler(std::function<void(const std::string&)> handler) {
  std::lock_guard lock(HandlerMutex());
  Handler() = std::move(handler);
}

}  // namespace vok
