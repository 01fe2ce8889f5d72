// The bucket arithmetic of the latency histogram and the percentiles read from it.
#include "handlers/latency_histogram.h"

#include <algorithm>
#include <bit>

std::size_t CLatencyHistogram::BucketOf(std::uint64_t ns) {
  if (ns < 4) return static_cast<std::size_t>(ns);
  const unsigned top = static_cast<unsigned>(std::bit_width(ns)) - 1;
  if (top > kTopBit) return kBuckets - 1;
  // The two bits below the top one pick the quarter of the octave.
  const std::size_t quarter = static_cast<std::size_t>(ns >> (top - 2)) & 3;
  return (top - 1) * 4 + quarter;
}

std::uint64_t CLatencyHistogram::UpperBound(std::size_t bucket) {
  if (bucket < 4) return bucket;
  if (bucket >= kBuckets - 1) return UINT64_MAX;
  const unsigned top = static_cast<unsigned>(bucket / 4) + 1;
  const std::uint64_t lower = static_cast<std::uint64_t>(4 + bucket % 4) << (top - 2);
  return lower + (std::uint64_t{1} << (top - 2)) - 1;
}

CLatencySummary CLatencyHistogram::Summary() const {
  std::array<std::uint64_t, kBuckets> counts;
  CLatencySummary summary;
  for (std::size_t i = 0; i < kBuckets; ++i) {
    counts[i] = m_counts[i].load(std::memory_order_relaxed);
    summary.count += counts[i];
  }
  summary.maxNs = m_max.load(std::memory_order_relaxed);
  if (summary.count == 0) return summary;
  // The rank of a percentile is the smallest count that covers it: p99 of 10 is the 10th.
  auto percentile = [&](std::uint64_t perHundred) {
    const std::uint64_t rank = std::max<std::uint64_t>(1, (summary.count * perHundred + 99) / 100);
    std::uint64_t seen = 0;
    for (std::size_t i = 0; i < kBuckets; ++i) {
      seen += counts[i];
      if (seen >= rank) return std::min(UpperBound(i), summary.maxNs);
    }
    return summary.maxNs;
  };
  summary.p50Ns = percentile(50);
  summary.p99Ns = percentile(99);
  return summary;
}
