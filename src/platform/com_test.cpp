// BSTR layout, ownership and comparison, and VARIANT clearing, on the platform's COM vocabulary.
#include "platform/com.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string_view>

#include "platform/bstr.h"

namespace vok {
namespace {

TEST(ComTest, BstrCarriesByteLengthPrefixAndTerminatingNulAndComparesOrdinally) {
  const OLECHAR text[] = {u'a', 0, u'\u00e9', u'z'};  // embedded NUL must survive
  BSTR bstr = ::SysAllocStringLen(text, 4);
  ASSERT_NE(bstr, nullptr);
  std::uint32_t prefix = 0;
  std::memcpy(&prefix, reinterpret_cast<const unsigned char*>(bstr) - 4, 4);
  EXPECT_EQ(prefix, 8u);
  EXPECT_EQ(::SysStringLen(bstr), 4u);
  EXPECT_EQ(::SysStringByteLen(bstr), 8u);
  EXPECT_EQ(std::u16string_view(reinterpret_cast<const char16_t*>(bstr), 5), std::u16string_view(u"a\0\u00e9z\0", 5));
  EXPECT_TRUE(::SysReAllocString(&bstr, OLESTR("longer text")));
  EXPECT_EQ(::SysStringLen(bstr), 11u);
  ::SysFreeString(bstr);
  EXPECT_EQ(::SysStringLen(nullptr), 0u);
  ::SysFreeString(nullptr);

  // Comparison is ordinal, and a null string equals the empty one.
  CBstr abc(OLESTR("abc")), abd(OLESTR("abd")), ab(OLESTR("ab")), empty(OLESTR(""));
  EXPECT_EQ(::VarBstrCmp(abc.Get(), abd.Get(), LOCALE_USER_DEFAULT, 0), VARCMP_LT);
  EXPECT_EQ(::VarBstrCmp(abc.Get(), ab.Get(), LOCALE_USER_DEFAULT, 0), VARCMP_GT);
  EXPECT_EQ(::VarBstrCmp(nullptr, empty.Get(), LOCALE_USER_DEFAULT, 0), VARCMP_EQ);
}

class CCountingUnknown : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
  STDMETHODIMP_(ULONG) Release() override { return --m_refs; }
  std::atomic<ULONG> m_refs{1};
};

TEST(ComTest, VariantClearFreesStringsAndReleasesInterfaces) {
  CCountingUnknown object;
  VARIANT value;
  ::VariantInit(&value);
  value.vt = VT_UNKNOWN;
  value.punkVal = &object;
  object.AddRef();
  EXPECT_EQ(::VariantClear(&value), S_OK);
  EXPECT_EQ(value.vt, VT_EMPTY);
  EXPECT_EQ(object.m_refs, 1u);
  value.vt = VT_BSTR;
  value.bstrVal = ::SysAllocString(OLESTR("freed by clear"));  // ASan reports a leak otherwise
  EXPECT_EQ(::VariantClear(&value), S_OK);
  EXPECT_EQ(sizeof(VARIANT), sizeof(void*) == 8 ? 24u : 16u);
}

}  // namespace
}  // namespace vok
