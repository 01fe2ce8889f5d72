// Speed of the wire message layer: parsing and writing level 1 and level 2 lines, parsing a FIX
// execution report with its checksum, and writing the FIX form. BM_Scan* is the yardstick for the
// parsers: one pass that only splits the same text into tags and value ranges (and sums the FIX
// checksum), so Parse/Scan of one message says how much the reader adds to reading the bytes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "message/vok_message.h"

namespace {

const std::string kLevel1 =
    "1|1003=MSFT;1004=412.35;1005=100;1006=412.37;1007=200;1008=412.36;1009=12345678;1010=411.2;"
    "1011=413.9;1012=1730812345\n";

std::string ThirtyFieldLine() {
  std::string line = "1|1003=MSFT";
  for (int i = 1; i < 30; ++i) {
    line += ";" + std::to_string(1003 + i) + "=";
    line += i % 3 == 0   ? "412." + std::to_string(i)
            : i % 3 == 1 ? std::to_string(1000 + i * 7)
                         : "TXT" + std::to_string(i);
  }
  return line + "\n";
}

const std::string kLevel2 =
    "2|1003=MSFT;1014=NSDQ;1001=10000;1004=412.35;1005=300;1021=09:30:01;1022=12/05/2026;1030=1\n";

// A FIX 4.1 execution report with 25 fields and a valid checksum.
std::string ExecutionReport() {
  std::string body =
      "35=8|49=SERVER|56=CLIENT|34=1234|52=20261205-14:30:00.123|37=ORD000123|17=EXEC0000456|20=0|150=2|39=2|"
      "55=MSFT|54=1|38=1000|40=2|44=412.35|59=0|32=500|31=412.34|151=0|14=1000|6=412.345|"
      "60=20261205-14:30:00.120|58=Filled at market|1=ACCOUNT01|";
  for (char& c : body) c = c == '|' ? '\x01' : c;
  std::string text =
      "8=FIX.4.1\x01"
      "9=" +
      std::to_string(body.size()) + "\x01" + body;
  int sum = 0;
  for (char c : text) sum += static_cast<signed char>(c);
  char trailer[16];
  std::snprintf(trailer, sizeof trailer, "10=%03d\x01\n", sum % 256);
  return text + trailer;
}

struct SScannedField {
  std::uint32_t tag;
  std::uint32_t begin;
  std::uint32_t end;
};

// One pass from `start`: tag digits up to '=', the value up to the separator, the byte sum of
// everything up to the FIX trailer. Returns the field count (at most 64).
int ScanFields(const std::string& text, std::size_t start, char separator, SScannedField* fields, unsigned& sum) {
  const char* const base = text.data();
  const char* p = base + start;
  const char* const end = base + text.size();
  int count = 0;
  sum = 0;
  std::uint32_t tag = 0;
  const char* value = nullptr;
  for (; p < end && count < 64; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    sum += c;
    if (value == nullptr) {
      if (c == '=') {
        value = p + 1;
      } else {
        tag = tag * 10 + (c - '0');
      }
    } else if (c == static_cast<unsigned char>(separator) || c == '\n') {
      fields[count++] =
          SScannedField{tag, static_cast<std::uint32_t>(value - base), static_cast<std::uint32_t>(p - base)};
      if (tag == 10) break;
      tag = 0;
      value = nullptr;
    }
  }
  return count;
}

void ScanLine(benchmark::State& state, const std::string& text, char separator) {
  SScannedField fields[64];
  for (auto _ : state) {
    unsigned sum = 0;
    // A line's "T|" is its type, not a field.
    const int count = ScanFields(text, separator == ';' ? 2 : 0, separator, fields, sum);
    benchmark::DoNotOptimize(count);
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(fields);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}

void ParseLine(benchmark::State& state, const std::string& line) {
  for (auto _ : state) {
    VOKMessage message(line.data(), static_cast<int>(line.size()));
    benchmark::DoNotOptimize(message);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(line.size()));
}

void WriteLine(benchmark::State& state, const std::string& line) {
  const VOKMessage message(line.data(), static_cast<int>(line.size()));
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string& text = message.ToString();
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}

void BM_ScanLevel1_10Fields(benchmark::State& state) { ScanLine(state, kLevel1, ';'); }
void BM_Scan30Fields(benchmark::State& state) { ScanLine(state, ThirtyFieldLine(), ';'); }
void BM_ScanLevel2(benchmark::State& state) { ScanLine(state, kLevel2, ';'); }
void BM_ScanFixExecutionReport(benchmark::State& state) { ScanLine(state, ExecutionReport(), '\x01'); }
void BM_ParseLevel1_10Fields(benchmark::State& state) { ParseLine(state, kLevel1); }
void BM_ToStringLevel1_10Fields(benchmark::State& state) { WriteLine(state, kLevel1); }
void BM_Parse30Fields(benchmark::State& state) { ParseLine(state, ThirtyFieldLine()); }
void BM_ToString30Fields(benchmark::State& state) { WriteLine(state, ThirtyFieldLine()); }
void BM_ParseLevel2(benchmark::State& state) { ParseLine(state, kLevel2); }
void BM_ToStringLevel2(benchmark::State& state) { WriteLine(state, kLevel2); }
void BM_ParseFixExecutionReport(benchmark::State& state) { ParseLine(state, ExecutionReport()); }

void BM_ToFIXExecutionReport(benchmark::State& state) {
  const std::string text = ExecutionReport();
  const VOKMessage message(text.data(), static_cast<int>(text.size()));
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string& fix = message.ToFIX();
    bytes = fix.size();
    benchmark::DoNotOptimize(fix.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}

}  // namespace

BENCHMARK(BM_ScanLevel1_10Fields);
BENCHMARK(BM_Scan30Fields);
BENCHMARK(BM_ScanLevel2);
BENCHMARK(BM_ScanFixExecutionReport);
BENCHMARK(BM_ParseLevel1_10Fields);
BENCHMARK(BM_ToStringLevel1_10Fields);
BENCHMARK(BM_Parse30Fields);
BENCHMARK(BM_ToString30Fields);
BENCHMARK(BM_ParseLevel2);
BENCHMARK(BM_ToStringLevel2);
BENCHMARK(BM_ParseFixExecutionReport);
BENCHMARK(BM_ToFIXExecutionReport);
