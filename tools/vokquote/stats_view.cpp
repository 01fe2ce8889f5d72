// Rates, table and JSON of the feed statistics.
#include "stats_view.h"

#include <cstdio>

#include "json_writer.h"

namespace vok::cli {
namespace {

constexpr const char* kTypeNames[VOK_FEED_TYPE_COUNT] = {"level1", "level1N",   "level2", "ts",   "options",
                                                         "logon",  "heartbeat", "notice", "other"};

std::string Fixed(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

// Latencies are shown in milliseconds, to the microsecond.
double Ms(std::uint64_t ns) { return static_cast<double>(ns / 1000) / 1000.0; }

std::string LatencyText(std::uint64_t ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", Ms(ns));
  return text;
}

}  // namespace

const char* DisconnectReasonName(int reason) {
  switch (reason) {
    case VOK_DISCONNECT_CLOSED:
      return "closed";
    case VOK_DISCONNECT_HEARTBEAT:
      return "heartbeat";
    case VOK_DISCONNECT_NOTICE:
      return "loggedInElsewhere";
    case VOK_DISCONNECT_CONNECT_FAILED:
      return "connectFailed";
    case VOK_DISCONNECT_REQUESTED:
      return "requested";
    default:
      return "none";
  }
}

void CFeedStatsSampler::Sample() {
  if (m_now.timeNs != 0) m_before = m_now;
  VokGetFeedStatistics(&m_now);
  // Read until the list fits: threads may start between the two calls.
  size_t count = 0;
  m_subscribers.resize(16);
  while (SUCCEEDED(VokGetSubscriberStatistics(m_subscribers.data(), m_subscribers.size(), &count)) &&
         count > m_subscribers.size() && count < 100000) {
    m_subscribers.resize(count + 8);
  }
  m_subscribers.resize(std::min(count, m_subscribers.size()));
}

double CFeedStatsSampler::Seconds() const {
  if (!m_before) return 0;
  return static_cast<double>(m_now.timeNs - m_before->timeNs) / 1e9;
}

double CFeedStatsSampler::Rate(std::uint64_t now, std::uint64_t before) const {
  const double seconds = Seconds();
  return seconds > 0 && now >= before ? static_cast<double>(now - before) / seconds : 0.0;
}

std::string CFeedStatsSampler::Json() const {
  CJsonWriter json;
  json.String("kind", "stats").Number("intervalS", Seconds());
  std::string types = "{";
  for (int i = 0; i < VOK_FEED_TYPE_COUNT; ++i) {
    if (m_now.messages[i] == 0) continue;
    CJsonWriter type;
    type.Integer("messages", static_cast<std::int64_t>(m_now.messages[i]))
        .Integer("bytes", static_cast<std::int64_t>(m_now.bytes[i]))
        .Number("messagesPerS", Rate(m_now.messages[i], m_before ? m_before->messages[i] : 0))
        .Number("bytesPerS", Rate(m_now.bytes[i], m_before ? m_before->bytes[i] : 0));
    if (types.size() > 1) types += ",";
    types += "\"" + std::string(kTypeNames[i]) + "\":" + type.Finish();
  }
  types += "}";
  json.Raw("types", types)
      .Integer("pumpQueueDepth", static_cast<std::int64_t>(m_now.pumpQueueDepth))
      .Integer("pumpQueueHighWater", static_cast<std::int64_t>(m_now.pumpQueueHighWater));
  std::string subscribers = "[";
  for (const VokSubscriberStatistics& each : m_subscribers) {
    CJsonWriter entry;
    entry.Integer("thread", each.threadId)
        .Integer("depth", static_cast<std::int64_t>(each.depth))
        .Integer("highWater", static_cast<std::int64_t>(each.highWater))
        .Integer("conflated", static_cast<std::int64_t>(each.conflated))
        .Integer("dropped", static_cast<std::int64_t>(each.dropped))
        .Integer("delivered", static_cast<std::int64_t>(each.delivered))
        .Number("drainP50Ms", Ms(each.drainP50Ns))
        .Number("drainP99Ms", Ms(each.drainP99Ns))
        .Number("drainMaxMs", Ms(each.drainMaxNs));
    if (subscribers.size() > 1) subscribers += ",";
    subscribers += entry.Finish();
  }
  subscribers += "]";
  json.Raw("subscribers", subscribers)
      .Integer("connects", static_cast<std::int64_t>(m_now.connects))
      .Integer("reconnects", static_cast<std::int64_t>(m_now.connects > 0 ? m_now.connects - 1 : 0))
      .Integer("disconnects", static_cast<std::int64_t>(m_now.disconnects))
      .Integer("connectFailures", static_cast<std::int64_t>(m_now.connectFailures))
      .String("lastDisconnect", DisconnectReasonName(m_now.lastDisconnectReason));
  if (m_now.lastDisconnectReason == VOK_DISCONNECT_CONNECT_FAILED) json.Integer("lastError", m_now.lastError);
  return json.Finish();
}

std::vector<std::string> CFeedStatsSampler::Table() const {
  std::vector<std::string> lines;
  char line[200];
  std::snprintf(line, sizeof line, "%-10s %12s %12s %10s %12s", "type", "messages", "bytes", "msg/s", "bytes/s");
  lines.emplace_back(line);
  for (int i = 0; i < VOK_FEED_TYPE_COUNT; ++i) {
    if (m_now.messages[i] == 0) continue;
    std::snprintf(line, sizeof line, "%-10s %12llu %12llu %10s %12s", kTypeNames[i],
                  static_cast<unsigned long long>(m_now.messages[i]), static_cast<unsigned long long>(m_now.bytes[i]),
                  Fixed(Rate(m_now.messages[i], m_before ? m_before->messages[i] : 0)).c_str(),
                  Fixed(Rate(m_now.bytes[i], m_before ? m_before->bytes[i] : 0)).c_str());
    lines.emplace_back(line);
  }
  lines.emplace_back("");
  std::snprintf(line, sizeof line, "pump queue %llu (high-water %llu)",
                static_cast<unsigned long long>(m_now.pumpQueueDepth),
                static_cast<unsigned long long>(m_now.pumpQueueHighWater));
  lines.emplace_back(line);
  for (const VokSubscriberStatistics& each : m_subscribers) {
    std::snprintf(line, sizeof line,
                  "thread %-8x queue %llu (high-water %llu), conflated %llu, dropped %llu, drain ms p50 %s p99 %s "
                  "max %s",
                  each.threadId, static_cast<unsigned long long>(each.depth),
                  static_cast<unsigned long long>(each.highWater), static_cast<unsigned long long>(each.conflated),
                  static_cast<unsigned long long>(each.dropped), LatencyText(each.drainP50Ns).c_str(),
                  LatencyText(each.drainP99Ns).c_str(), LatencyText(each.drainMaxNs).c_str());
    lines.emplace_back(line);
  }
  std::snprintf(line, sizeof line, "reconnects %llu, connects failed %llu, last disconnect: %s",
                static_cast<unsigned long long>(m_now.connects > 0 ? m_now.connects - 1 : 0),
                static_cast<unsigned long long>(m_now.connectFailures),
                DisconnectReasonName(m_now.lastDisconnectReason));
  lines.emplace_back(line);
  return lines;
}

}  // namespace vok::cli
