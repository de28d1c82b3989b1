// One row of the module's table of creatable classes.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <atomic>

namespace scanmenu {

// Builds an instance: stand-alone for a null outer unknown, aggregated otherwise.
using InstanceCreator = HRESULT (*)(IUnknown* outer, REFIID iid, void** out);
// Builds the class object that calls an instance creator.
using ClassObjectCreator = HRESULT (*)(InstanceCreator creator, REFIID iid, void** out);

// The cached class object of one class: stored encoded (EncodePointer),
// null until the first DllGetClassObject that creates it. Published with
// release order after the object is built and read with acquire order, so a
// thread that finds it set also sees the finished object.
struct ClassObjectCache {
  std::atomic<void*> encoded_object;
  DWORD registration_cookie;  // never read; kept for class-object registration
};

struct ClassEntry {
  const CLSID* clsid;
  // Writes (true) or removes (false) the class's registration. Null while
  // the module has no registration.
  HRESULT (*update_registry)(bool do_register);
  ClassObjectCreator create_class_object;
  InstanceCreator create_instance;
  ClassObjectCache* cache;
  const wchar_t* (*description)();          // null: no description
  const void* (*categories)();              // null: no component categories
  void (*object_main)(bool process_start);  // null: no start or stop work
};

}  // namespace scanmenu
