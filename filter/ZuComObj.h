// The filtering library's class factories: each knows its class, how to make
// an instance, and the registry keys through which its host finds it.
#pragma once

#include <windows.h>

#include <string>

#include "../com/ClassFactory.h"
#include "../com/Registrar.h"

class TZuComObjectFactory {
public:
  TZuComObjectFactory(const CLSID &clsid, std::wstring className, std::wstring description,
                      HRESULT (*create)(REFIID, void **));
  virtual ~TZuComObjectFactory() = default;

  const com::TClassEntry &Entry() const { return FEntry; }
  const com::TClassRegistration &Registration() const { return FRegistration; }
  // Ordinary in-process server registration (or removal), then the factory's own keys.
  virtual HRESULT UpdateRegistry(bool doRegister);

private:
  com::TClassEntry FEntry;
  com::TClassRegistration FRegistration;
};

// Also writes PROTOCOLS\PolyFilter\<MIME type>\{clsid}, where the component
// that chains MIME filters looks for them.
class TMimePolyFilterFactory : public TZuComObjectFactory {
public:
  TMimePolyFilterFactory(const CLSID &clsid, std::wstring className, std::wstring description, std::string mimeType,
                         HRESULT (*create)(REFIID, void **));
  HRESULT UpdateRegistry(bool doRegister) override;
  const std::string &MimeType() const { return FMimeType; }
  std::wstring PolyFilterKey() const;

private:
  std::string FMimeType;
};

// Also writes the browser's Browser Helper Objects key for the class.
class TBrowserHelperObjectFactory : public TZuComObjectFactory {
public:
  using TZuComObjectFactory::TZuComObjectFactory;
  static const wchar_t HelperKey[];
  HRESULT UpdateRegistry(bool doRegister) override;
};

// The factories of this library, ended by a null.
TZuComObjectFactory *const *LibraryFactories();
