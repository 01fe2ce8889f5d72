// Start-up, shut-down, number formatting and the password transform.
#include "vkdll/vkdll.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/crypto.h"
#include "vkdll/trace.h"

namespace {

std::atomic<int> g_startups{0};

// Removes trailing zeros after a decimal point, and the point itself when nothing follows it.
void TrimFraction(char* text) {
  char* dot = std::strchr(text, '.');
  if (dot == nullptr) return;
  char* end = text + std::strlen(text);
  while (end > dot + 1 && end[-1] == '0') --end;
  if (end == dot + 1) end = dot;
  *end = '\0';
}

}  // namespace

void VOK_Startup() {
  if (g_startups.fetch_add(1) == 0) {
    vok::ReloadTraceSettings();
    VOKTRACE_Write(VOKTRACE_INFO, "VKDLL: started");
  }
}

void VOK_Shutdown() {
  if (g_startups.fetch_sub(1) == 1) VOKTRACE_Write(VOKTRACE_INFO, "VKDLL: stopped");
}

void VOK_FormatNumber(double value, char* buffer, int size, int format) {
  if (buffer == nullptr || size <= 0) return;
  if (!std::isfinite(value)) {
    std::snprintf(buffer, static_cast<std::size_t>(size), "%s", "0");
    return;
  }
  char text[512];
  switch (format) {
    case 1:
      std::snprintf(text, sizeof text, "%.2f", value);
      break;
    case 2:
      std::snprintf(text, sizeof text, "%.3f", value);
      TrimFraction(text);
      break;
    default:
      std::snprintf(text, sizeof text, "%.8f", value);
      TrimFraction(text);
      break;
  }
  if (std::strcmp(text, "-0") == 0) std::strcpy(text, "0");
  std::snprintf(buffer, static_cast<std::size_t>(size), "%s", text);
}

void VOK_TransformPassword(const char* clearText, char* target) {
  if (target == nullptr) return;
  char hex[65];
  if (!vok::Sha256Hex(clearText != nullptr ? clearText : "", hex)) {
    VOKTRACE_Write(VOKTRACE_FAILURE, "VOK_TransformPassword: the system hash failed");
  }
  std::memcpy(target, hex, sizeof hex);
}
