#include <gtest/gtest.h>

#include <oaidl.h>

#include "com/Bstr.h"
#include "com/ComObject.h"
#include "com/SafeArray.h"
#include "com/Variant.h"

namespace {

// Counts references so ownership mistakes show as wrong numbers.
class TCountedDispatch : public com::TComObject<TCountedDispatch, IDispatch> {
public:
  TCountedDispatch() { ++Live; }
  ~TCountedDispatch() override { --Live; }
  static inline int Live = 0;
  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TCountedDispatch, IDispatch), ZU_INTERFACE_END};
    return table;
  }
  STDMETHODIMP GetTypeInfoCount(UINT *) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS *, VARIANT *, EXCEPINFO *, UINT *) override {
    return E_NOTIMPL;
  }
};

} // namespace

TEST(HoldersTest, BstrOwnsExactlyOneString) {
  com::Bstr a(L"hello");
  EXPECT_EQ(a.Length(), 5u);
  com::Bstr b = a; // deep copy
  EXPECT_NE(a.Get(), b.Get());
  EXPECT_EQ(b.Str(), L"hello");
  com::Bstr c = std::move(a);
  EXPECT_EQ(a.Get(), nullptr);
  EXPECT_EQ(c.Str(), L"hello");
  // Receive frees what was held and takes an [out] string.
  *c.Receive() = SysAllocString(L"out");
  EXPECT_EQ(c.Str(), L"out");
  BSTR raw = c.Detach();
  EXPECT_EQ(c.Get(), nullptr);
  com::Bstr adopted = com::Bstr::Attach(raw);
  EXPECT_EQ(adopted.Str(), L"out");
  com::Bstr copied = com::Bstr::Copy(adopted.Get());
  EXPECT_NE(copied.Get(), adopted.Get());
  com::Bstr withNul(std::wstring_view(L"a\0b", 3));
  EXPECT_EQ(withNul.Length(), 3u);
  EXPECT_TRUE(com::Bstr().Empty());
  EXPECT_EQ(com::Bstr().Str(), L"");
}

TEST(HoldersTest, VariantHoldsAndReleasesItsReferences) {
  auto disp = com::MakeObject<TCountedDispatch>();
  {
    com::Variant v(disp.Get());
    EXPECT_EQ(disp->RefCount(), 2u);
    com::Variant copy = v;
    EXPECT_EQ(disp->RefCount(), 3u);
    com::Variant moved = std::move(copy);
    EXPECT_EQ(disp->RefCount(), 3u);
    EXPECT_EQ(copy.Type(), VT_EMPTY);
    moved = com::Variant(L"text");
    EXPECT_EQ(disp->RefCount(), 2u);
    VARIANT out;
    VariantInit(&out);
    v.Detach(&out);
    EXPECT_EQ(v.Type(), VT_EMPTY);
    EXPECT_EQ(disp->RefCount(), 2u);
    com::Variant back = com::Variant::Attach(out);
    EXPECT_EQ(out.vt, VT_EMPTY);
    EXPECT_EQ(disp->RefCount(), 2u);
    *back.Receive() = VARIANT{};
    EXPECT_EQ(disp->RefCount(), 1u);
  }
  EXPECT_EQ(disp->RefCount(), 1u);
  disp.Reset();
  EXPECT_EQ(TCountedDispatch::Live, 0);
  EXPECT_EQ(com::Variant(true).Get().boolVal, VARIANT_TRUE);
  EXPECT_EQ(com::Variant(42L).Get().lVal, 42);
  const com::Variant literal(L"text");
  ASSERT_EQ(literal.Get().vt, VT_BSTR) << "a string literal must not become a boolean";
  EXPECT_STREQ(literal.Get().bstrVal, L"text");
}

TEST(HoldersTest, SafeArrayAccessScopeLocksAndReportsBounds) {
  com::SafeArray bytes(VT_UI1, 4);
  {
    com::SafeArrayAccess access(bytes.Get());
    ASSERT_TRUE(access.Valid());
    EXPECT_EQ(access.Count(), 4u);
    EXPECT_EQ(access.LowerBound(), 0);
    EXPECT_EQ(access.ElementType(), VT_UI1);
    access.As<BYTE>()[3] = 7;
    EXPECT_EQ(SafeArrayDestroy(bytes.Get()), DISP_E_ARRAYISLOCKED) << "locked while the scope lives";
  }
  com::SafeArray copy = com::SafeArray::Copy(bytes.Get());
  {
    com::SafeArrayAccess access(copy.Get());
    EXPECT_EQ(access.As<BYTE>()[3], 7);
  }
  SAFEARRAY *raw = copy.Detach();
  com::SafeArray adopted = com::SafeArray::Attach(raw);
  EXPECT_EQ(adopted.Get(), raw);

  com::SafeArrayAccess none(nullptr);
  EXPECT_FALSE(none.Valid());
  EXPECT_EQ(none.Count(), 0u);
  com::SafeArray empty(VT_VARIANT, 0);
  com::SafeArrayAccess emptyAccess(empty.Get());
  EXPECT_EQ(emptyAccess.Count(), 0u);

  SAFEARRAYBOUND bounds = {3, 5};
  com::SafeArray shifted = com::SafeArray::Attach(SafeArrayCreate(VT_I4, 1, &bounds));
  com::SafeArrayAccess shiftedAccess(shifted.Get());
  EXPECT_EQ(shiftedAccess.LowerBound(), 5);
  EXPECT_EQ(shiftedAccess.Count(), 3u);
}
