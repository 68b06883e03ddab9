#include "FakeDispatch.h"

namespace fakes {

const VARIANT *TDispArgs::At(UINT i) const {
  if (i >= Count())
    return nullptr;
  const VARIANT *v = &FParams->rgvarg[FParams->cArgs - 1 - i];
  if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal)
    v = v->pvarVal;
  return v->vt == VT_ERROR ? nullptr : v;
}

std::wstring TDispArgs::Str(UINT i, const std::wstring &missing) const {
  const VARIANT *v = At(i);
  return v ? VariantText(*v) : missing;
}

long TDispArgs::Long(UINT i, long missing) const {
  const VARIANT *v = At(i);
  if (!v)
    return missing;
  VARIANT n;
  VariantInit(&n);
  if (FAILED(VariantChangeType(&n, const_cast<VARIANT *>(v), 0, VT_I4)))
    return missing;
  return n.lVal;
}

VARIANT TDispArgs::Value(UINT i) const {
  VARIANT copy;
  VariantInit(&copy);
  if (const VARIANT *v = At(i))
    VariantCopyInd(&copy, const_cast<VARIANT *>(v));
  return copy;
}

HRESULT ResultBstr(VARIANT *result, BSTR value, HRESULT hr) {
  if (FAILED(hr)) {
    SysFreeString(value);
    return hr;
  }
  result->vt = VT_BSTR;
  result->bstrVal = value;
  return hr;
}

HRESULT ResultDispatch(VARIANT *result, IDispatch *value, HRESULT hr) {
  if (FAILED(hr)) {
    if (value)
      value->Release();
    return hr;
  }
  result->vt = VT_DISPATCH;
  result->pdispVal = value;
  return hr;
}

HRESULT ResultLong(VARIANT *result, long value, HRESULT hr) {
  if (SUCCEEDED(hr)) {
    result->vt = VT_I4;
    result->lVal = value;
  }
  return hr;
}

HRESULT ResultBool(VARIANT *result, VARIANT_BOOL value, HRESULT hr) {
  if (SUCCEEDED(hr)) {
    result->vt = VT_BOOL;
    result->boolVal = value;
  }
  return hr;
}

std::wstring VariantText(const VARIANT &value) {
  const VARIANT *v = &value;
  if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal)
    v = v->pvarVal;
  if (v->vt == VT_EMPTY || v->vt == VT_NULL)
    return std::wstring();
  if (v->vt == VT_BSTR)
    return std::wstring(v->bstrVal ? v->bstrVal : L"", SysStringLen(v->bstrVal));
  VARIANT s;
  VariantInit(&s);
  if (FAILED(VariantChangeType(&s, const_cast<VARIANT *>(v), 0, VT_BSTR)))
    return std::wstring();
  std::wstring text(s.bstrVal ? s.bstrVal : L"", SysStringLen(s.bstrVal));
  VariantClear(&s);
  return text;
}

} // namespace fakes
