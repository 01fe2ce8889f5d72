// IQuoteListener: what a vokquote session reports to the command running it: each data record
// (on the main thread, from its message loop, valid only during the call), each connection
// event and the server's "logged in elsewhere" notice (moved onto the main thread as well).
#pragma once

#include <string>

#include "client_api.h"

namespace vok::cli {

enum class EConnectionEvent { Connect, Close, LogonSucceed };

const char* EventName(EConnectionEvent event);  // the event's interface name, "OnConnect" ...

class IQuoteListener {
 public:
  virtual void OnQuote(const QUOTERECORD& rec) = 0;
  virtual void OnLevel2(const LEVEL2RECORD& rec) = 0;
  virtual void OnTimeAndSales(const TSRECORD& rec) = 0;
  virtual void OnOptions(const OPTIONSRECORD& rec) = 0;
  // Connect with a nonzero code: the connection could not be made (a system error number).
  virtual void OnEvent(EConnectionEvent event, long errorCode) = 0;
  // The server ended the session because the user logged in elsewhere; it does not reconnect.
  virtual void OnNotice(const std::string& text) = 0;

 protected:
  ~IQuoteListener() = default;
};

}  // namespace vok::cli
