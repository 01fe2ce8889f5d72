// CLatencyHistogram: a fixed-size log-scale histogram of durations in nanoseconds, four buckets
// per power of two (within a quarter of the true value), from which the statistics read p50, p99
// and the exact maximum. Threads: one thread records (a queue's owner, at each delivery); any
// thread may read. The counts are relaxed atomics written only by the recorder, so recording is a
// load and a store and a reader sees each count whole, if not all counts of the same instant.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

struct CLatencySummary {
  std::uint64_t count = 0;  // durations recorded
  std::uint64_t p50Ns = 0;  // upper bounds of the buckets holding the 50th and 99th percentiles,
  std::uint64_t p99Ns = 0;  // never above the maximum
  std::uint64_t maxNs = 0;
};

class CLatencyHistogram {
 public:
  // Durations from 2^40 ns (about 18 minutes) on share the last bucket; the maximum stays exact.
  static constexpr unsigned kTopBit = 39;
  static constexpr std::size_t kBuckets = (kTopBit - 1) * 4 + 4;

  // Recorder thread only.
  void Record(std::uint64_t ns) {
    std::atomic<std::uint64_t>& bucket = m_counts[BucketOf(ns)];
    bucket.store(bucket.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    if (ns > m_max.load(std::memory_order_relaxed)) m_max.store(ns, std::memory_order_relaxed);
  }

  // Any thread.
  CLatencySummary Summary() const;

  static std::size_t BucketOf(std::uint64_t ns);
  // The largest duration that falls in `bucket`.
  static std::uint64_t UpperBound(std::size_t bucket);

 private:
  std::array<std::atomic<std::uint64_t>, kBuckets> m_counts{};
  std::atomic<std::uint64_t> m_max{0};
};
