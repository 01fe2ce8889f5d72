// Shared parts of the simulated feeds and the factory that picks one per service.
#include "feed.h"

#include "level1_feed.h"
#include "level2_feed.h"
#include "options_feed.h"
#include "time_sales_feed.h"
#include "time_text.h"

namespace vok::sim {

bool IsKnownService(int serviceId) {
  return serviceId == kLevel1Service || serviceId == kLevel2Service || serviceId == kTimeSalesService ||
         serviceId == kOptionsService;
}

CFeed::CFeed(std::string_view symbol, int serviceId, const SFeedSettings& settings)
    : m_symbol(symbol),
      m_serviceId(serviceId),
      m_settings(settings),
      m_random(StreamSeed(settings.seed, symbol, serviceId)),
      m_profile(MakeSymbolProfile(settings.seed, symbol)) {}

std::unique_ptr<CFeed> CFeed::Create(int serviceId, std::string_view symbol, const SFeedSettings& settings) {
  switch (serviceId) {
    case kLevel1Service:
      return std::make_unique<CLevel1Feed>(symbol, settings);
    case kLevel2Service:
      return std::make_unique<CLevel2Feed>(symbol, settings);
    case kTimeSalesService:
      return std::make_unique<CTimeSalesFeed>(symbol, settings);
    case kOptionsService:
      return std::make_unique<COptionsFeed>(symbol, settings);
    default:
      return nullptr;
  }
}

void CFeed::AddTime() {
  const std::int64_t now = TimeMs();
  if (m_settings.times == ETimeStyle::Utc) {
    m_writer.Text(wire::kFidUtcTimestamp, FormatUtcTimestamp(now));
  } else {
    m_writer.Text(wire::kFidEasternDate, FormatEasternDate(now));
    m_writer.Text(wire::kFidEasternTime, FormatEasternTime(now));
  }
}

std::int64_t CFeed::Walk(std::int64_t cents) {
  cents += m_random.Between(-3, 3);
  return cents < 1 ? 1 : cents;
}

}  // namespace vok::sim
