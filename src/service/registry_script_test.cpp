// Tests of the registration script reader and of the class factory: keys and values written,
// replaced rather than merged on a second registration, removed on unregistration except NoRemove
// keys; malformed scripts rejected whole; the factory's aggregation rule and server locks.
#include "service/registry_script.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <string>

#include "platform/class_registry.h"
#include "platform/environment.h"
#include "service/class_factory.h"
#include "service/module_lock.h"

namespace {

// Linux keeps the class registry in a file below XDG_CONFIG_HOME: each test gets its own folder.
class RegistryScript : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = std::filesystem::temp_directory_path() /
               ("vok_registry_script_" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    std::filesystem::create_directories(m_folder);
    vok::SetEnvironmentValue("XDG_CONFIG_HOME", m_folder.string().c_str());
  }
  void TearDown() override {
    vok::DeleteClassKeyTree("VokTest.Thing");
    vok::DeleteClassKeyTree("VokTest.Thing.1");
    vok::DeleteClassKeyTree("VokTestClasses");
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
  }
  static std::string Read(const char* key, const char* name = "") {
    std::string data;
    return vok::ReadClassValue(key, name, data) ? data : "<missing>";
  }
  std::filesystem::path m_folder;
};

constexpr const char* kScript = R"(HKCR
{
  VokTest.Thing.1 = s 'Thing Class'
  {
    CLSID = s '{11111111-2222-3333-4444-555555555555}'
  }
  'VokTest.Thing' = s 'Thing Class'
  {
    CurVer = s 'VokTest.Thing.1'
  }
  NoRemove VokTestClasses
  {
    ForceRemove {11111111-2222-3333-4444-555555555555} = s 'It''s a Thing'
    {
      ForceRemove Programmable
      InprocServer32 = s '%MODULE%'
      {
        val ThreadingModel = s 'Both'
      }
      'TypeLib' = s '{AAAAAAAA-2222-3333-4444-555555555555}'
    }
  }
}
)";

constexpr const char* kClassKey = "VokTestClasses\\{11111111-2222-3333-4444-555555555555}";

TEST_F(RegistryScript, RegistersReplacesAndUnregistersTheKeysItNames) {
  const CRegistryScript script(kScript, {{"MODULE", "C:\\lib\\thing.dll"}});
  ASSERT_TRUE(script.IsValid());

  // A stale value below the class key from an older registration must not survive.
  ASSERT_TRUE(vok::WriteClassKey(std::string(kClassKey) + "\\Stale", std::vector<vok::RegistryValue>{{"", "old"}}));
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(script.Register());
    EXPECT_EQ(Read("VokTest.Thing.1"), "Thing Class");
    EXPECT_EQ(Read("VokTest.Thing.1\\CLSID"), "{11111111-2222-3333-4444-555555555555}");
    EXPECT_EQ(Read("VokTest.Thing\\CurVer"), "VokTest.Thing.1");
    EXPECT_EQ(Read(kClassKey), "It's a Thing");
    EXPECT_EQ(Read((std::string(kClassKey) + "\\InprocServer32").c_str()), "C:\\lib\\thing.dll");
    EXPECT_EQ(Read((std::string(kClassKey) + "\\InprocServer32").c_str(), "ThreadingModel"), "Both");
    EXPECT_EQ(Read((std::string(kClassKey) + "\\TypeLib").c_str()), "{AAAAAAAA-2222-3333-4444-555555555555}");
    EXPECT_EQ(Read((std::string(kClassKey) + "\\Stale").c_str()), "<missing>");
  }

  ASSERT_TRUE(vok::WriteClassKey("VokTestClasses\\Other", std::vector<vok::RegistryValue>{{"", "kept"}}));
  EXPECT_TRUE(script.Unregister());
  EXPECT_EQ(Read("VokTest.Thing.1"), "<missing>");
  EXPECT_EQ(Read("VokTest.Thing\\CurVer"), "<missing>");
  EXPECT_EQ(Read(kClassKey), "<missing>");
  EXPECT_EQ(Read((std::string(kClassKey) + "\\InprocServer32").c_str()), "<missing>");
  // The NoRemove parent and what others wrote below it stay.
  EXPECT_EQ(Read("VokTestClasses\\Other"), "kept");
}

TEST_F(RegistryScript, RejectsMalformedScriptsWhole) {
  const char* bad[] = {
      "",
      "HKLM { Thing = s 'x' }",
      "HKCR { Thing = s 'x' ",
      "HKCR { Thing = 'x' }",
      "HKCR { Thing = s 'unterminated }",
      "HKCR { Thing { val = s 'x' } }",
      "HKCR { val Name = s 'x' }",
      "HKCR { Thing = d '5' }",
      "HKCR { } trailing",
      "HKCR { NoRemove }",
  };
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    const CRegistryScript script(text, {});
    EXPECT_FALSE(script.IsValid());
    EXPECT_FALSE(script.Register());
    EXPECT_FALSE(script.Unregister());
  }
  // Nesting deeper than any registration needs is refused rather than followed.
  std::string deep = "HKCR {";
  for (int i = 0; i < 40; ++i) deep += " K {";
  for (int i = 0; i < 40; ++i) deep += " }";
  deep += " }";
  EXPECT_FALSE(CRegistryScript(deep, {}).IsValid());
  EXPECT_EQ(Read("Thing"), "<missing>");
}

// An object that counts itself, for the factory tests.
class CCounted final : public IUnknown {
 public:
  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
    *ppv = riid == IID_IUnknown ? this : nullptr;
    if (*ppv == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
  STDMETHOD_(ULONG, Release)() override {
    const ULONG refs = --m_refs;
    if (refs == 0) delete this;
    return refs;
  }

 private:
  ULONG m_refs = 0;
};

int g_creatorCalls = 0;
IUnknown* g_lastOuter = nullptr;

HRESULT CreateCounted(IUnknown* outer, REFIID riid, void** ppv) {
  ++g_creatorCalls;
  g_lastOuter = outer;
  auto* object = new CCounted();
  object->AddRef();
  const HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

HRESULT CreateThrowing(IUnknown*, REFIID, void** ppv) {
  *ppv = reinterpret_cast<void*>(1);
  throw std::bad_alloc();
}

TEST(ClassFactory, CreatesThroughItsCreatorAndOnlyAggregatesAsTheInnerUnknown) {
  CClassFactory factory(&CreateCounted);
  CCounted outer;
  outer.AddRef();
  g_creatorCalls = 0;

  struct Row {
    IUnknown* outer;
    IID iid;
    HRESULT expected;
    int calls;
  } rows[] = {
      {nullptr, IID_IUnknown, S_OK, 1},
      {nullptr, IID_IDispatch, E_NOINTERFACE, 1},
      {&outer, IID_IDispatch, CLASS_E_NOAGGREGATION, 0},
      {&outer, IID_IUnknown, S_OK, 1},
  };
  for (const Row& row : rows) {
    g_creatorCalls = 0;
    g_lastOuter = nullptr;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory.CreateInstance(row.outer, row.iid, &object), row.expected);
    EXPECT_EQ(g_creatorCalls, row.calls);
    if (row.calls > 0) {
      EXPECT_EQ(g_lastOuter, row.outer);
    }
    if (SUCCEEDED(row.expected)) {
      ASSERT_NE(object, nullptr);
      static_cast<IUnknown*>(object)->Release();
    } else {
      EXPECT_EQ(object, nullptr);
    }
  }
  EXPECT_EQ(factory.CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);

  CClassFactory throwing(&CreateThrowing);
  void* object = nullptr;
  EXPECT_EQ(throwing.CreateInstance(nullptr, IID_IUnknown, &object), E_OUTOFMEMORY);
  EXPECT_EQ(object, nullptr);
}

TEST(ClassFactory, LockServerHoldsTheModuleAndTheLibraryKeepsItsFactory) {
  CClassFactory factory(&CreateCounted);
  const long before = vok::ModuleLockCount();
  EXPECT_EQ(factory.LockServer(TRUE), S_OK);
  EXPECT_EQ(factory.LockServer(TRUE), S_OK);
  EXPECT_EQ(vok::ModuleLockCount(), before + 2);
  EXPECT_EQ(factory.LockServer(FALSE), S_OK);
  EXPECT_EQ(factory.LockServer(FALSE), S_OK);
  EXPECT_EQ(vok::ModuleLockCount(), before);

  IClassFactory* asFactory = nullptr;
  EXPECT_EQ(factory.QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&asFactory)), S_OK);
  EXPECT_EQ(asFactory, &factory);
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory.QueryInterface(IID_IDispatch, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  // Extra releases never take the library's own reference.
  asFactory->Release();
  EXPECT_EQ(factory.Release(), 1u);
  EXPECT_EQ(factory.AddRef(), 2u);
}

}  // namespace
