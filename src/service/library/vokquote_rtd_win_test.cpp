// The real-time data server of VokQuote.dll as a spreadsheet host drives it, under Wine: the DLL
// registered, the server found by its ProgID and created on a single-threaded apartment that pumps
// its messages, its connection taken from the per-user settings, topics over several symbols (some
// unusable) against a simulator that runs vokquote_rtd_test.script, every UpdateNotify answered
// with RefreshData. The topic table's rules (field names, levels, the last topic unsubscribing)
// are its own test's; here each field once through the host's interfaces.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/bstr.h"
#include "platform/class_registry.h"
#include "platform/com_ptr.h"
#include "platform/text.h"
#include "records/vokquote.h"
#include "service/library/client_host_test_util.h"
#include "service/simulator_endpoint_test_util.h"

namespace {

using vok::CBstr;
using vok::CComPtr;

// A cell's value as the host sees it: the variant type and its text.
struct SCell {
  VARTYPE vt = VT_EMPTY;
  std::string text;
  bool operator==(const SCell&) const = default;
};

SCell CellOf(const VARIANT& value) {
  char number[64] = {};
  switch (value.vt) {
    case VT_R8:
      std::snprintf(number, sizeof(number), "%.10g", value.dblVal);
      return {VT_R8, number};
    case VT_I4:
      return {VT_I4, std::to_string(value.lVal)};
    case VT_BSTR:
      return {VT_BSTR, CBstr::ToNarrow(value.bstrVal)};
    default:
      return {value.vt, {}};
  }
}

// The host's side of the protocol: counts UpdateNotify calls, and those that came while one was
// still unanswered.
class CHostCallback final : public IRTDUpdateEvent {
 public:
  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDispatch && riid != IID_IRTDUpdateEvent) return E_NOINTERFACE;
    *ppv = static_cast<IRTDUpdateEvent*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
  STDMETHOD_(ULONG, Release)() override { return --m_refs; }
  STDMETHOD(GetTypeInfoCount)(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHOD(Invoke)(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
  STDMETHOD(UpdateNotify)() override {
    ++m_notifies;
    if (m_pending) ++m_unanswered;
    m_pending = true;
    return S_OK;
  }
  STDMETHOD(get_HeartbeatInterval)(LONG* value) override {
    *value = 15000;
    return S_OK;
  }
  STDMETHOD(put_HeartbeatInterval)(LONG) override { return S_OK; }
  STDMETHOD(Disconnect)() override { return S_OK; }

  std::atomic<ULONG> m_refs{0};
  int m_notifies = 0;
  int m_unanswered = 0;
  bool m_pending = false;
};

// The per-user connection defaults the server reads, set through the settings class and cleared
// again when the test ends.
class CUserServer {
 public:
  CUserServer(const std::string& server, const char* user, const char* password) { Write(server, user, password); }
  ~CUserServer() { Write("", "", ""); }
  bool saved = false;

 private:
  void Write(const std::string& server, const char* user, const char* password) {
    CComPtr<IVokQuotesSettings> settings;
    if (FAILED(::CoCreateInstance(CLSID_VokQuotesSettings, nullptr, CLSCTX_INPROC_SERVER, IID_IVokQuotesSettings,
                                  settings.PutVoid()))) {
      return;
    }
    settings->put_Server(CBstr::FromNarrow(server).Get());
    settings->put_UserName(CBstr::FromNarrow(user).Get());
    settings->put_Password(CBstr::FromNarrow(password).Get());
    saved = settings->Save() == S_OK;
  }
};

class CRtdHost {
 public:
  explicit CRtdHost(IRtdServer* server) : m_server(server) {}

  SCell Connect(LONG id, const std::vector<std::string>& strings, bool& newValue) {
    SAFEARRAYBOUND bound{static_cast<ULONG>(strings.size()), 0};
    SAFEARRAY* array = ::SafeArrayCreate(VT_VARIANT, 1, &bound);
    for (LONG i = 0; i < static_cast<LONG>(strings.size()); ++i) {
      VARIANT text;
      text.vt = VT_BSTR;
      text.bstrVal = CBstr::FromNarrow(strings[i]).Detach();
      ::SafeArrayPutElement(array, &i, &text);
      ::VariantClear(&text);
    }
    VARIANT_BOOL getNew = VARIANT_TRUE;
    VARIANT value;
    ::VariantInit(&value);
    EXPECT_EQ(m_server->ConnectData(id, &array, &getNew, &value), S_OK);
    ::SafeArrayDestroy(array);
    newValue = getNew != VARIANT_FALSE;
    const SCell cell = CellOf(value);
    ::VariantClear(&value);
    if (newValue) m_cells[id] = cell;
    return cell;
  }

  // Answers an unanswered UpdateNotify with RefreshData, as the host does on its own time.
  void Refresh(CHostCallback& callback) {
    if (!callback.m_pending) return;
    callback.m_pending = false;
    LONG count = -1;
    SAFEARRAY* array = nullptr;
    ASSERT_EQ(m_server->RefreshData(&count, &array), S_OK);
    ASSERT_NE(array, nullptr);
    LONG upperRow = -1;
    LONG upperColumn = -2;
    EXPECT_EQ(::SafeArrayGetDim(array), 2u);
    ::SafeArrayGetUBound(array, 1, &upperRow);
    ::SafeArrayGetUBound(array, 2, &upperColumn);
    EXPECT_EQ(upperRow, 1);
    EXPECT_EQ(upperColumn, count - 1);
    for (LONG i = 0; i < count; ++i) {
      VARIANT id;
      VARIANT value;
      ::VariantInit(&id);
      ::VariantInit(&value);
      LONG index[2] = {0, i};
      ::SafeArrayGetElement(array, index, &id);
      index[0] = 1;
      ::SafeArrayGetElement(array, index, &value);
      EXPECT_EQ(id.vt, VT_I4);
      m_cells[id.lVal] = CellOf(value);
      ::VariantClear(&value);
    }
    ::SafeArrayDestroy(array);
    ++m_refreshes;
  }

  std::map<LONG, SCell> m_cells;
  int m_refreshes = 0;

 private:
  IRtdServer* m_server;
};

struct STopicRow {
  std::vector<std::string> strings;
  SCell expected;
};

TEST(VokQuoteRtd, ServesLiveCellsReadableErrorsAndStopsAtServerTerminate) {
  vok::test::SSimulatorEndpoint endpoint;
  ASSERT_TRUE(vok::test::ReadSimulatorEndpoint(endpoint));
  // Registered as the host looks it up; the host's own interfaces are left to the host.
  CLSID clsid{};
  ASSERT_EQ(::CLSIDFromProgID(L"Vokhaldex.VokQuotes.RTD", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_VokQuotesRtd);
  ASSERT_EQ(::CLSIDFromProgID(L"Vokhaldex.VokQuotes.RTD.1", &clsid), S_OK);
  std::string model;
  EXPECT_TRUE(
      vok::ReadClassValue("CLSID\\{99C80B67-D319-4C67-BAE2-5385F036E812}\\InprocServer32", "ThreadingModel", model));
  EXPECT_EQ(model, "Apartment");
  EXPECT_FALSE(vok::ReadClassValue("Interface\\{EC0E6191-DB51-11D3-8F3E-00C04F3651B8}", "", model));

  CUserServer userServer(endpoint.host + ":" + std::to_string(endpoint.port), vok::test::kSimulatorUser,
                         vok::test::kSimulatorPassword);
  ASSERT_TRUE(userServer.saved);
  CComPtr<IRtdServer> server;
  ASSERT_EQ(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IRtdServer, server.PutVoid()), S_OK);
  CHostCallback callback;
  LONG started = 0;
  ASSERT_EQ(server->ServerStart(&callback, &started), S_OK);
  EXPECT_EQ(started, 1);

  const std::vector<STopicRow> rows = {
      {{"MSFT", "Last"}, {VT_R8, "101.5"}},
      {{"MSFT", "dLast"}, {VT_R8, "101.5"}},
      {{"MSFT", "Ask"}, {VT_R8, "101.75"}},
      {{"MSFT", "BidSize"}, {VT_I4, "500"}},
      {{"MSFT", "AskSize"}, {VT_I4, "700"}},
      {{"MSFT", "lVolume"}, {VT_I4, "123456"}},
      {{"MSFT", "High"}, {VT_R8, "102"}},
      {{"MSFT", "Low"}, {VT_R8, "99.5"}},
      {{"MSFT", "Open"}, {VT_R8, "100.5"}},
      {{"MSFT", "Close"}, {VT_R8, "100"}},
      {{"MSFT", "Change"}, {VT_R8, "1.5"}},
      {{"MSFT", "Exchange"}, {VT_BSTR, "NASDAQ"}},
      {{"MSFT", "Company"}, {VT_BSTR, "Microsoft Corp"}},
      {{"IBM", "Last"}, {VT_R8, "150"}},
      {{"IBM", "Change"}, {VT_R8, "-2"}},
      {{"BOOK", "Bid", "1"}, {VT_R8, "10.5"}},
      {{"BOOK", "Bid", "2"}, {VT_R8, "10.4"}},
      {{"BOOK", "Ask", "1"}, {VT_R8, "10.6"}},
      {{"BOOK", "AskSize", "1"}, {VT_I4, "400"}},
      {{"STATUS"}, {VT_BSTR, "logged on"}},
      {{"Server"}, {VT_BSTR, "VokSim"}},
      {{"MSFT", "Colour"}, {VT_BSTR, "#N/A unknown field 'Colour'"}},
      {{"BAD|SYM", "Last"}, {VT_BSTR, "#N/A bad symbol 'BAD|SYM'"}},
      {{"MSFT", "Last", "2"}, {VT_BSTR, "#N/A no levels for 'Last'"}},
      {{"MSFT"}, {VT_BSTR, "#N/A no field for 'MSFT'"}},
  };
  CRtdHost sheet(server.Get());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    bool newValue = false;
    const SCell first = sheet.Connect(static_cast<LONG>(i), rows[i].strings, newValue);
    // An unusable topic says so at once; the others have nothing yet to say.
    if (rows[i].expected.text.starts_with("#N/A")) {
      EXPECT_TRUE(newValue) << i;
      EXPECT_EQ(first, rows[i].expected) << i;
    }
  }
  const auto allAsExpected = [&] {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const auto cell = sheet.m_cells.find(static_cast<LONG>(i));
      if (cell == sheet.m_cells.end() || !(cell->second == rows[i].expected)) return false;
    }
    return true;
  };
  const bool reached = vok::test::PumpUntil([&] {
    sheet.Refresh(callback);
    return allAsExpected();
  });
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(sheet.m_cells[static_cast<LONG>(i)], rows[i].expected) << "topic " << i << " " << rows[i].strings[0];
  }
  ASSERT_TRUE(reached);
  EXPECT_EQ(callback.m_unanswered, 0) << "one UpdateNotify until RefreshData";
  EXPECT_GE(sheet.m_refreshes, 1);
  LONG healthy = 0;
  EXPECT_EQ(server->Heartbeat(&healthy), S_OK);
  EXPECT_EQ(healthy, 1);

  // The IBM topics' going unsubscribes (one of them alone would not: the topic table's test);
  // the script then sends MSFT 103, a second round of updates for both its Last topics.
  EXPECT_EQ(server->DisconnectData(13), S_OK);
  EXPECT_EQ(server->DisconnectData(14), S_OK);
  EXPECT_TRUE(vok::test::PumpUntil([&] {
    sheet.Refresh(callback);
    return sheet.m_cells[0] == SCell{VT_R8, "103"};
  }));
  EXPECT_EQ(sheet.m_cells[1], (SCell{VT_R8, "103"}));

  // The script's next line comes after this: no notification may follow ServerTerminate.
  EXPECT_EQ(server->ServerTerminate(), S_OK);
  const int notifies = callback.m_notifies;
  vok::test::PumpUntil([] { return false; }, 2500);
  EXPECT_EQ(callback.m_notifies, notifies);
  EXPECT_EQ(server->Heartbeat(&healthy), S_OK);
  EXPECT_EQ(healthy, 0);
  EXPECT_EQ(callback.m_refs, 0u) << "the host's callback is released";
}

}  // namespace
