// The topic table over a real service object with no connection: data lines handed to its handlers
// reach the topics through the subscribing thread's message loop, as they do from a server.
#include "service/rtd/rtd_topic_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "message/vok_message.h"
#include "platform/message_loop.h"
#include "service/vok_quotes_test_util.h"
#include "vokcommon/record_copy.h"

namespace vok {
namespace {

using Strings = std::vector<std::string>;

class CRtdTopicTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CVokQuotes::CreateInstance(IID_IVokQuotes, m_quotes.PutVoid()), S_OK);
    m_table = std::make_unique<CRtdTopicTable>(m_quotes.Get(), [this] { ++m_signals; });
  }

  void Feed(const std::string& line) {
    static_cast<CVokQuotes*>(m_quotes.Get())->DataDispatch().Dispatch(VOKMessage(line.c_str(), -1));
  }
  // Pumps this thread's loop until the table has signalled `count` times in all.
  bool PumpUntilSignals(int count) {
    return RunMessageLoop([&] { return m_signals >= count; }, 20000) == LoopExit::Stopped;
  }
  CRtdTopicTable::Changes SortedChanges() {
    CRtdTopicTable::Changes changes;
    m_table->TakeChanges(changes);
    std::sort(changes.begin(), changes.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return changes;
  }
  std::string CachedSymbol(const char* symbol) {
    QUOTERECORD record{};
    m_quotes->GetCachedQuote(test::Bstr(symbol).Get(), &record);
    std::string text = CBstr::ToNarrow(record.bstrSymbol);
    FreeQuoteRecord(record);
    return text;
  }

  CComPtr<IVokQuotes> m_quotes;
  std::unique_ptr<CRtdTopicTable> m_table;
  int m_signals = 0;
};

TEST_F(CRtdTopicTableTest, ServesValuesErrorsAndOneSignalPerBatch) {
  struct Row {
    Strings strings;
    RtdValue first;  // what Connect returns, before any data
    RtdValue later;  // what the refresh reports after the feed; monostate: not reported
  };
  const std::vector<Row> rows = {
      {{"MSFT", "Last"}, {}, 101.5},
      {{" msft ", "dBid"}, {}, 101.25},
      {{"MSFT", "askSIZE"}, {}, LONG{700}},
      {{"MSFT", "NetChange%"}, {}, 1.5},
      {{"MSFT", "BidSize", "1"}, {}, LONG{500}},
      {{"MSFT", "Bid", "3"}, {}, std::string("#N/A no bid level 3")},
      {{"MSFT", "Ask", "0"}, std::string("#N/A bad level '0'"), {}},
      {{"status"}, std::string("disconnected: not connected"), {}},
  };

  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(m_table->Connect(static_cast<LONG>(i), rows[i].strings), rows[i].first) << "topic " << i;
  }
  EXPECT_EQ(m_table->SymbolCount(), 1u);

  Feed("1|1003=MSFT;2002=101.5;2003=101.25;2004=101.75;2006=700;2008=100");
  Feed("2|1003=MSFT;2016=NSDQ;2017=20010;2018=101.25;2019=200;2024=O");
  Feed("2|1003=MSFT;2016=ARCA;2017=20010;2018=101.25;2019=300;2024=O");
  Feed("2|1003=MSFT;2016=EDGX;2017=20010;2018=101;2019=100;2024=O");
  ASSERT_TRUE(PumpUntilSignals(1));
  // Everything delivered before the refresh belongs to the one signal already given.
  RunMessageLoop([] { return false; }, 200);
  EXPECT_EQ(m_signals, 1);

  CRtdTopicTable::Changes expected;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!std::holds_alternative<std::monostate>(rows[i].later))
      expected.emplace_back(static_cast<LONG>(i), rows[i].later);
  }
  EXPECT_EQ(SortedChanges(), expected);

  // An unchanged value is no change; a new one signals again, and only its topics are reported.
  Feed("1|1003=MSFT;2002=101.5;2012=900");
  Feed("1|1003=MSFT;2002=102");
  ASSERT_TRUE(PumpUntilSignals(2));
  EXPECT_EQ(SortedChanges(), (CRtdTopicTable::Changes{{0, 102.0}, {3, 2.0}}));
}

TEST_F(CRtdTopicTableTest, UnsubscribesWithTheLastTopicAndStaysSilentAfterClose) {
  m_table->Connect(1, Strings{"IBM", "Last"});
  m_table->Connect(2, Strings{"IBM", "Volume"});
  m_table->Connect(3, Strings{"IBM", "Bid", "1"});
  Feed("1|1003=IBM;2002=150;2012=10");
  Feed("2|1003=IBM;2016=NSDQ;2017=20010;2018=149.5;2019=200;2024=O");
  ASSERT_TRUE(PumpUntilSignals(1));
  // A topic connected later gets the cached value at once.
  EXPECT_EQ(m_table->Connect(4, Strings{"IBM", "Last"}), RtdValue(150.0));
  EXPECT_EQ(m_table->SymbolCount(), 1u);

  m_table->Disconnect(3);
  LONG size = 0;
  m_quotes->GetCachedAggregateLevel2Size(test::Bstr("IBM").Get(), 149.5, msBid, &size);
  EXPECT_EQ(size, -1) << "level 2 goes with its last topic";
  m_table->Disconnect(1);
  m_table->Disconnect(4);
  EXPECT_EQ(CachedSymbol("IBM"), "IBM") << "one level 1 topic is left";
  m_table->Disconnect(2);
  EXPECT_EQ(CachedSymbol("IBM"), "");
  EXPECT_EQ(m_table->SymbolCount(), 0u);

  m_table->Connect(5, Strings{"IBM", "Last"});
  m_table->Close();
  EXPECT_EQ(m_table->TopicCount(), 0u);
  EXPECT_EQ(CachedSymbol("IBM"), "") << "closing unsubscribes";
  const int signals = m_signals;
  Feed("1|1003=IBM;2002=151");
  RunMessageLoop([] { return false; }, 200);
  EXPECT_EQ(m_signals, signals);
  EXPECT_EQ(m_table->Connect(6, Strings{"IBM", "Last"}), RtdValue(std::string("#N/A server stopped")));
}

}  // namespace
}  // namespace vok
