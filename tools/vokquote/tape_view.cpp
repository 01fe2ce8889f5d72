// The time and sales tape: a bounded list of prints, newest first.
#include "tape_view.h"

#include <algorithm>
#include <cstdio>

#include "client_api.h"
#include "number_format.h"
#include "ole_time.h"
#include "screen.h"

namespace vok::cli {
namespace {

const char* TypeText(enumTickType type) {
  switch (type) {
    case ttTradeTick:
      return "TRADE";
    case ttBidTick:
      return "BID";
    case ttAskTick:
      return "ASK";
  }
  return "?";
}

const char* StatusText(enumTickStatus status) {
  switch (status) {
    case tsNormal:
      return "";
    case tsFiltered:
      return "filtered";
    case tsOutOfSeq:
      return "out of seq";
    case tsDeleted:
      return "deleted";
  }
  return "?";
}

}  // namespace

bool CTapeView::Add(const TSRECORD& rec) {
  if (rec.bstrSymbol == nullptr || m_capacity == 0) return false;
  STapePrint print;
  print.symbol = CBstr::ToUtf8(rec.bstrSymbol);
  print.exchange = CBstr::ToUtf8(rec.bstrExchange);
  print.price = rec.dPrice;
  print.size = rec.lSize;
  print.time = OleDateToClock(rec.UTCDateTime, m_utc);
  print.type = rec.type;
  print.status = rec.status;
  print.cond = rec.cond;
  print.tick = rec.tick;
  m_prints.push_front(std::move(print));
  if (m_prints.size() > m_capacity) m_prints.pop_back();
  return true;
}

std::vector<std::string> CTapeView::Render(int rows, bool colour) const {
  std::vector<std::string> lines;
  char line[160];
  const std::string time = "TIME (" + ZoneLabel(m_utc) + ")";
  std::snprintf(line, sizeof line, "%-12s  %-10s %-5s %10s %10s  %-6s %4s  %s", time.c_str(), "SYMBOL", "TYPE", "PRICE",
                "SIZE", "EXCH", "COND", "STATUS");
  lines.push_back(colour ? std::string(kBold) + line + kReset : line);
  const std::size_t count = std::min(m_prints.size(), static_cast<std::size_t>(std::max(rows, 0)));
  for (std::size_t i = 0; i < count; ++i) {
    const STapePrint& print = m_prints[i];
    std::snprintf(line, sizeof line, "%-12s  %-10s %-5s %10s %10s  %-6s %4d  %s", print.time.c_str(),
                  print.symbol.c_str(), TypeText(print.type), FormatPrice(print.price).c_str(),
                  FormatSize(print.size).c_str(), print.exchange.c_str(), static_cast<int>(print.cond),
                  StatusText(print.status));
    std::string text = line;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    const char* tint = print.tick == tickEvenUp ? kGreen : print.tick == tickDown ? kRed : nullptr;
    lines.push_back(colour && tint ? std::string(tint) + text + kReset : text);
  }
  return lines;
}

}  // namespace vok::cli
