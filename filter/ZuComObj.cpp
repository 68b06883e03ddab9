#include "ZuComObj.h"

#include "../com/ComModule.h"
#include "AdFilterBHOUnit.h"
#include "MimeFilter.h"
#include "ZuGuids.h"
#include "ZuHTMLFilter.h"

const wchar_t TBrowserHelperObjectFactory::HelperKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Browser Helper Objects\\";

TZuComObjectFactory::TZuComObjectFactory(const CLSID &clsid, std::wstring className, std::wstring description,
                                         HRESULT (*create)(REFIID, void **))
    : FEntry{&clsid, create}, FRegistration{&clsid, std::move(className), std::move(description), L"Apartment"} {}

HRESULT TZuComObjectFactory::UpdateRegistry(bool doRegister) {
  return doRegister ? com::RegisterInprocServer(FRegistration, com::ModuleHandle())
                    : com::UnregisterInprocServer(FRegistration, com::ModuleHandle());
}

TMimePolyFilterFactory::TMimePolyFilterFactory(const CLSID &clsid, std::wstring className, std::wstring description,
                                               std::string mimeType, HRESULT (*create)(REFIID, void **))
    : TZuComObjectFactory(clsid, std::move(className), std::move(description), create), FMimeType(std::move(mimeType)) {
}

std::wstring TMimePolyFilterFactory::PolyFilterKey() const {
  return L"PROTOCOLS\\PolyFilter\\" + std::wstring(FMimeType.begin(), FMimeType.end()) + L"\\" +
         com::GuidString(*Registration().Clsid);
}

HRESULT TMimePolyFilterFactory::UpdateRegistry(bool doRegister) {
  const HRESULT hr = TZuComObjectFactory::UpdateRegistry(doRegister);
  if (FAILED(hr))
    return hr;
  // A key that cannot be opened is skipped: the ordinary registration stands.
  if (doRegister)
    com::SetKeyDefault(HKEY_CLASSES_ROOT, PolyFilterKey(), Registration().Description);
  else
    com::DeleteKeyTree(HKEY_CLASSES_ROOT, PolyFilterKey());
  return S_OK;
}

HRESULT TBrowserHelperObjectFactory::UpdateRegistry(bool doRegister) {
  const HRESULT hr = TZuComObjectFactory::UpdateRegistry(doRegister);
  if (FAILED(hr))
    return hr;
  const std::wstring key = HelperKey + com::GuidString(*Registration().Clsid);
  if (doRegister)
    com::SetKeyDefault(HKEY_LOCAL_MACHINE, key, Registration().Description);
  else
    com::DeleteKeyTree(HKEY_LOCAL_MACHINE, key);
  return S_OK;
}

namespace {

HRESULT CreateTervaneHTMLFilter(REFIID iid, void **out) {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  try {
    auto filter = com::MakeObject<TZuHTMLFilter>(std::make_unique<TTervaneHTMLFilter>());
    return filter->QueryInterface(iid, out);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

TMimePolyFilterFactory GFilterFactory(CLSID_TervaneHTMLFilter, L"TervaneHTMLFilter", L"Tervane HTML Filter",
                                      "text/html", &CreateTervaneHTMLFilter);

TBrowserHelperObjectFactory GHelperFactory(CLSID_AdFilterBHO, L"AdFilterBHO", L"Tervane AdFilter Helper",
                                           &CreateAdFilterBHO);

TZuComObjectFactory *const GFactories[] = {&GFilterFactory, &GHelperFactory, nullptr};

} // namespace

TZuComObjectFactory *const *LibraryFactories() { return GFactories; }
