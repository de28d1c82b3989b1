// The registrar of one script run: the substitution list that the script's
// %name% references are replaced from.
#pragma once

#include <windows.h>
#include <objbase.h>

#include "scanmenu/module/script/substitutions.h"

namespace scanmenu {

// What the module object needs of a registrar to add its own substitutions.
struct IRegistrarBase : public IUnknown {
  // Appends (name, text); both strings are copied.
  virtual HRESULT STDMETHODCALLTYPE AddSubstitution(LPCOLESTR name, LPCOLESTR text) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearSubstitutions() = 0;
};

// Lives on the stack of one script run: QueryInterface refuses everything and
// reference counting does nothing.
class CRegObject final : public IRegistrarBase {
 public:
  CRegObject() = default;
  CRegObject(const CRegObject&) = delete;
  CRegObject& operator=(const CRegObject&) = delete;
  virtual ~CRegObject() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE AddSubstitution(LPCOLESTR name, LPCOLESTR text) override;
  HRESULT STDMETHODCALLTYPE ClearSubstitutions() override;

  // In the order added; names are looked up ignoring case, first match wins.
  const script::SubstitutionList& substitutions() const { return list_; }

 private:
  script::SubstitutionList list_;
};

}  // namespace scanmenu
