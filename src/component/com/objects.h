// The four automation classes of Kestle.dll and what registration and the
// class factories need to know of them.
#ifndef KESTLE_COMPONENT_COM_OBJECTS_H_
#define KESTLE_COMPONENT_COM_OBJECTS_H_

#include "platform/windows_headers.h"

namespace kestle::com {

// One public class: its identity, names, and how to make an object of it.
struct ClassInfo {
  const CLSID* clsid;
  const IID* iid;                 // the default (dual) interface
  const wchar_t* name;            // the coclass name, e.g. L"ParseIIF"
  const wchar_t* prog_id;         // e.g. L"Kestle.ParseIIF"
  const wchar_t* interface_name;  // e.g. L"_ParseIIF"
  // Creates a new object and returns its interface `iid` in `*out`.
  HRESULT (*create)(REFIID iid, void** out);
};

// ParseIIF, Ship_FedEx, Ship_UPS, Archiver, in this order.
inline constexpr int kClassCount = 4;
extern const ClassInfo kClasses[kClassCount];

}  // namespace kestle::com

#endif  // KESTLE_COMPONENT_COM_OBJECTS_H_
