/* The COM and OLE Automation vocabulary of VokQuote's public interface: HRESULTs, GUIDs,
   IUnknown/IDispatch, VARIANT, BSTR, connection points and class factories. Windows uses the
   system headers; elsewhere this header defines them with the same binary layout, so records and
   interfaces keep one shape on both platforms. The types, the BSTR and VARIANT calls and the
   HRESULT codes compile as C; the interfaces and GUID constants need C++. */
#ifndef VOKQUOTE_COM_H
#define VOKQUOTE_COM_H

#ifdef __cplusplus
#include <cstddef>
#include <cstdint>
#else
#include <stddef.h>
#include <stdint.h>
#endif

/* Fixed-width enumerations in C++; in C an enumeration is an int, which has the same width. */
#ifdef __cplusplus
#define VOK_ENUM_BASE(type) : type
#else
#define VOK_ENUM_BASE(type)
#endif

#ifdef _WIN32

#include <objbase.h>
#include <ocidl.h>
#include <oleauto.h>
#include <olectl.h>

#else /* Linux */

/* Windows' integer vocabulary, all with their Windows widths (LONG is 32-bit, unlike long here). */
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint16_t USHORT;
typedef int16_t SHORT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int32_t BOOL;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uintptr_t ULONG_PTR;
typedef float FLOAT;
typedef double DOUBLE;
typedef int32_t HRESULT;
typedef int32_t SCODE;
typedef DWORD LCID;
typedef LONG DISPID;
typedef DISPID MEMBERID;
typedef uint16_t VARTYPE;
typedef int16_t VARIANT_BOOL;
typedef double DATE;
#ifdef __cplusplus
typedef char16_t WCHAR;
typedef char16_t OLECHAR;
#else
typedef uint16_t WCHAR; /* char16_t's representation */
typedef uint16_t OLECHAR;
#endif
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef OLECHAR* BSTR;

#define OLESTR(str) u##str
#define TRUE 1
#define FALSE 0
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

#define STDMETHODCALLTYPE
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define PURE = 0

#define SUCCEEDED(hr) ((HRESULT)(hr) >= 0)
#define FAILED(hr) ((HRESULT)(hr) < 0)

/* HRESULT codes: constants in C++, enumerators in C. */
#ifdef __cplusplus
#define VOK_HRESULT(name, value) inline constexpr HRESULT name = static_cast<HRESULT>(value##u);
#else
#define VOK_HRESULT(name, value) enum { name = (int)value##u };
#endif
VOK_HRESULT(S_OK, 0)
VOK_HRESULT(S_FALSE, 1)
VOK_HRESULT(E_NOTIMPL, 0x80004001)
VOK_HRESULT(E_NOINTERFACE, 0x80004002)
VOK_HRESULT(E_POINTER, 0x80004003)
VOK_HRESULT(E_ABORT, 0x80004004)
VOK_HRESULT(E_FAIL, 0x80004005)
VOK_HRESULT(E_UNEXPECTED, 0x8000FFFF)
VOK_HRESULT(E_ACCESSDENIED, 0x80070005)
VOK_HRESULT(E_HANDLE, 0x80070006)
VOK_HRESULT(E_OUTOFMEMORY, 0x8007000E)
VOK_HRESULT(E_INVALIDARG, 0x80070057)
VOK_HRESULT(CLASS_E_NOAGGREGATION, 0x80040110)
VOK_HRESULT(CLASS_E_CLASSNOTAVAILABLE, 0x80040111)
VOK_HRESULT(REGDB_E_CLASSNOTREG, 0x80040154)
VOK_HRESULT(CO_E_NOTINITIALIZED, 0x800401F0)
VOK_HRESULT(CONNECT_E_NOCONNECTION, 0x80040200)
VOK_HRESULT(CONNECT_E_ADVISELIMIT, 0x80040201)
VOK_HRESULT(CONNECT_E_CANNOTCONNECT, 0x80040202)
VOK_HRESULT(CONNECT_E_OVERRIDDEN, 0x80040203)
VOK_HRESULT(SELFREG_E_TYPELIB, 0x80040200)
VOK_HRESULT(SELFREG_E_CLASS, 0x80040201)
VOK_HRESULT(DISP_E_UNKNOWNINTERFACE, 0x80020001)
VOK_HRESULT(DISP_E_MEMBERNOTFOUND, 0x80020003)
VOK_HRESULT(DISP_E_PARAMNOTFOUND, 0x80020004)
VOK_HRESULT(DISP_E_TYPEMISMATCH, 0x80020005)
VOK_HRESULT(DISP_E_UNKNOWNNAME, 0x80020006)
VOK_HRESULT(DISP_E_EXCEPTION, 0x80020009)
VOK_HRESULT(DISP_E_BADINDEX, 0x8002000B)
VOK_HRESULT(DISP_E_BADPARAMCOUNT, 0x8002000E)
VOK_HRESULT(DISP_E_PARAMNOTOPTIONAL, 0x8002000F)
VOK_HRESULT(TYPE_E_REGISTRYACCESS, 0x8002801C)
VOK_HRESULT(TYPE_E_LIBNOTREGISTERED, 0x8002801D)
VOK_HRESULT(TYPE_E_INVALIDSTATE, 0x80028029)
VOK_HRESULT(TYPE_E_ELEMENTNOTFOUND, 0x8002802B)
VOK_HRESULT(TYPE_E_CANTLOADLIBRARY, 0x80029C4A)

VOK_HRESULT(VARCMP_LT, 0)
VOK_HRESULT(VARCMP_EQ, 1)
VOK_HRESULT(VARCMP_GT, 2)
VOK_HRESULT(VARCMP_NULL, 3)

typedef struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
#ifdef __cplusplus
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
#else
typedef const GUID* REFGUID;
typedef const IID* REFIID;
typedef const CLSID* REFCLSID;
#endif

// clang-format off
enum VARENUM VOK_ENUM_BASE(VARTYPE) {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_RECORD = 36,
  VT_BYREF = 0x4000,
};
// clang-format on

#ifdef __cplusplus
struct IUnknown;
struct IDispatch;
#else
/* C sees the interfaces only as pointers inside a VARIANT. */
typedef struct IUnknown IUnknown;
typedef struct IDispatch IDispatch;
#endif

/* A record held by a VARIANT (VT_RECORD): the data and its record information. */
struct tagBRECORD {
  void* pvRecord;
  void* pRecInfo;
};

typedef struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    DATE date;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    ULONG ulVal;
    INT intVal;
    UINT uintVal;
    ULONGLONG ullVal;
    void* byref;
    struct tagBRECORD brecVal;
  };
} VARIANT;
typedef VARIANT VARIANTARG;

/* The system string allocator. A BSTR points just past a 32-bit byte length and is followed by
   a 16-bit NUL, so SysStringLen is O(1) and embedded NULs survive. Every BSTR a record or an
   out-parameter hands to the caller is freed with SysFreeString. */
#ifdef __cplusplus
extern "C" {
#endif
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);
void SysFreeString(BSTR text);
INT SysReAllocString(BSTR* text, const OLECHAR* newText);
INT SysReAllocStringLen(BSTR* text, const OLECHAR* newText, UINT length);

void VariantInit(VARIANTARG* variant);
HRESULT VariantClear(VARIANTARG* variant);
HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* source);

/* Ordinal comparison of UTF-16 code units (VARCMP_LT, _EQ or _GT); a null BSTR equals an empty
   one. Locale and flags are accepted for the Windows signature and ignored. */
HRESULT VarBstrCmp(BSTR left, BSTR right, LCID lcid, ULONG flags);
#ifdef __cplusplus
} /* extern "C" */
#endif

#ifdef __cplusplus

inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;

inline constexpr WORD DISPATCH_METHOD = 1;
inline constexpr WORD DISPATCH_PROPERTYGET = 2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 8;

constexpr bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i) {
    if (a.Data4[i] != b.Data4[i]) return false;
  }
  return true;
}
constexpr bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
constexpr bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
constexpr bool IsEqualIID(REFIID a, REFIID b) { return a == b; }
constexpr bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return a == b; }
constexpr bool InlineIsEqualGUID(REFGUID a, REFGUID b) { return a == b; }

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr IID IID_NULL = GUID_NULL;
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_ITypeInfo = {0x00020401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IConnectionPointContainer = {
    0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IEnumConnectionPoints = {
    0xB196B285, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IConnectionPoint = {
    0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IEnumConnections = {
    0xB196B287, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

struct IUnknown {
  STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) PURE;
  STDMETHOD_(ULONG, AddRef)() PURE;
  STDMETHOD_(ULONG, Release)() PURE;
};
using LPUNKNOWN = IUnknown*;

// Type information is only handed through here (IDispatch::GetTypeInfo); Linux has no type
// library loader, so the interface carries no members of its own.
struct ITypeInfo : IUnknown {};

struct DISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};

struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};

struct IDispatch : IUnknown {
  STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) PURE;
  STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) PURE;
  STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) PURE;
  STDMETHOD(Invoke)
  (DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
   EXCEPINFO* pExcepInfo, UINT* puArgErr) PURE;
};

struct IClassFactory : IUnknown {
  STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) PURE;
  STDMETHOD(LockServer)(BOOL fLock) PURE;
};

struct CONNECTDATA {
  IUnknown* pUnk;
  DWORD dwCookie;
};

struct IConnectionPointContainer;

struct IEnumConnections : IUnknown {
  STDMETHOD(Next)(ULONG cConnections, CONNECTDATA* rgcd, ULONG* pcFetched) PURE;
  STDMETHOD(Skip)(ULONG cConnections) PURE;
  STDMETHOD(Reset)() PURE;
  STDMETHOD(Clone)(IEnumConnections** ppEnum) PURE;
};

struct IConnectionPoint : IUnknown {
  STDMETHOD(GetConnectionInterface)(IID* pIID) PURE;
  STDMETHOD(GetConnectionPointContainer)(IConnectionPointContainer** ppCPC) PURE;
  STDMETHOD(Advise)(IUnknown* pUnkSink, DWORD* pdwCookie) PURE;
  STDMETHOD(Unadvise)(DWORD dwCookie) PURE;
  STDMETHOD(EnumConnections)(IEnumConnections** ppEnum) PURE;
};

struct IEnumConnectionPoints : IUnknown {
  STDMETHOD(Next)(ULONG cConnections, IConnectionPoint** ppCP, ULONG* pcFetched) PURE;
  STDMETHOD(Skip)(ULONG cConnections) PURE;
  STDMETHOD(Reset)() PURE;
  STDMETHOD(Clone)(IEnumConnectionPoints** ppEnum) PURE;
};

struct IConnectionPointContainer : IUnknown {
  STDMETHOD(EnumConnectionPoints)(IEnumConnectionPoints** ppEnum) PURE;
  STDMETHOD(FindConnectionPoint)(REFIID riid, IConnectionPoint** ppCP) PURE;
};

#endif /* __cplusplus */

#endif /* _WIN32 */

/* Defines a GUID constant in a header: VOK_DEFINE_GUID(IID_IFoo, 0x12345678, 0x1234, 0x1234,
   0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc, 0xde, 0xf0). In C++ usable in constant expressions. */
#ifdef __cplusplus
#define VOK_DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  inline constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#else
#define VOK_DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  static const GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#endif

#endif /* VOKQUOTE_COM_H */
