// Late binding for the fakes: IDispatch answered from a table of names, each
// with a getter, a setter and/or a method, the way a script engine would call
// the browser's objects.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace fakes {

// The arguments of one Invoke in the order they were written: At(0) is the
// first argument (the last of rgvarg). By-reference variants are followed.
class TDispArgs {
public:
  explicit TDispArgs(const DISPPARAMS *params) : FParams(params) {}
  UINT Count() const { return FParams ? FParams->cArgs : 0; }
  // Null when the argument is missing or was left out (VT_ERROR).
  const VARIANT *At(UINT i) const;
  std::wstring Str(UINT i, const std::wstring &missing = std::wstring()) const;
  long Long(UINT i, long missing = 0) const;
  VARIANT Value(UINT i) const; // a copy the caller owns; VT_EMPTY when missing

private:
  const DISPPARAMS *FParams;
};

template <class T> struct TDispMember {
  const wchar_t *Name;
  DISPID Id;
  HRESULT (*Get)(T &self, VARIANT *result);
  HRESULT (*Put)(T &self, const VARIANT &value);
  HRESULT (*Call)(T &self, const TDispArgs &args, VARIANT *result);
};

// Names not in the table are left for the caller (DISP_E_UNKNOWNNAME in
// `ids`); returns S_OK when every name was found.
template <class T, size_t N>
HRESULT DispIdsOfNames(const TDispMember<T> (&table)[N], LPOLESTR *names, UINT count, DISPID *ids) {
  if (!ids || (count && !names))
    return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    for (const auto &m : table)
      if (names[i] && _wcsicmp(names[i], m.Name) == 0) {
        ids[i] = m.Id;
        break;
      }
    if (ids[i] == DISPID_UNKNOWN)
      hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

// DISP_E_MEMBERNOTFOUND when `id` is not in the table.
template <class T, size_t N>
HRESULT DispInvoke(const TDispMember<T> (&table)[N], T &self, DISPID id, WORD flags, DISPPARAMS *params,
                   VARIANT *result) {
  for (const auto &m : table) {
    if (m.Id != id)
      continue;
    VARIANT scratch;
    VariantInit(&scratch);
    VARIANT *out = result ? result : &scratch;
    if (result)
      VariantInit(result);
    HRESULT hr = DISP_E_MEMBERNOTFOUND;
    const TDispArgs args(params);
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
      if (m.Put)
        hr = args.Count() >= 1 ? m.Put(self, params->rgvarg[0]) : DISP_E_BADPARAMCOUNT;
    } else if (m.Call && (flags & DISPATCH_METHOD)) {
      hr = m.Call(self, args, out);
    } else if (m.Get && (flags & DISPATCH_PROPERTYGET)) {
      hr = m.Get(self, out);
    } else if (m.Call && (flags & DISPATCH_PROPERTYGET)) {
      hr = m.Call(self, args, out);
    }
    VariantClear(&scratch);
    return hr;
  }
  return DISP_E_MEMBERNOTFOUND;
}

// Result helpers for table entries: each takes ownership of what it is given.
HRESULT ResultBstr(VARIANT *result, BSTR value, HRESULT hr);
HRESULT ResultDispatch(VARIANT *result, IDispatch *value, HRESULT hr);
HRESULT ResultLong(VARIANT *result, long value, HRESULT hr);
HRESULT ResultBool(VARIANT *result, VARIANT_BOOL value, HRESULT hr);
// The value as a string (VariantChangeType), empty for VT_EMPTY/VT_NULL.
std::wstring VariantText(const VARIANT &value);

} // namespace fakes

namespace fakes {

// Table entries made from the fake's own interface methods.
template <class T, HRESULT (STDMETHODCALLTYPE T::*M)(BSTR *)> HRESULT GetBstr(T &self, VARIANT *r) {
  BSTR b = nullptr;
  const HRESULT hr = (self.*M)(&b);
  return ResultBstr(r, b, hr);
}
template <class T, HRESULT (STDMETHODCALLTYPE T::*M)(BSTR)> HRESULT PutBstr(T &self, const VARIANT &v) {
  BSTR b = SysAllocString(VariantText(v).c_str());
  const HRESULT hr = (self.*M)(b);
  SysFreeString(b);
  return hr;
}
template <class T, HRESULT (STDMETHODCALLTYPE T::*M)(LONG *)> HRESULT GetLong(T &self, VARIANT *r) {
  LONG n = 0;
  const HRESULT hr = (self.*M)(&n);
  return ResultLong(r, n, hr);
}
template <class T, HRESULT (STDMETHODCALLTYPE T::*M)(LONG)> HRESULT PutLong(T &self, const VARIANT &v) {
  VARIANT n;
  VariantInit(&n);
  const HRESULT hr = VariantChangeType(&n, const_cast<VARIANT *>(&v), 0, VT_I4);
  return FAILED(hr) ? hr : (self.*M)(n.lVal);
}
template <class T, class I, HRESULT (STDMETHODCALLTYPE T::*M)(I **)> HRESULT GetIface(T &self, VARIANT *r) {
  I *object = nullptr;
  const HRESULT hr = (self.*M)(&object);
  IDispatch *d = nullptr;
  if (object) {
    object->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&d));
    object->Release();
  }
  return ResultDispatch(r, d, hr);
}

} // namespace fakes
