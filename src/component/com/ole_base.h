// Stands in for the header of ole_base.idl: widl's generated kestle.h
// includes it, and the system headers already declare IUnknown and IDispatch.
#ifndef KESTLE_COMPONENT_COM_OLE_BASE_H_
#define KESTLE_COMPONENT_COM_OLE_BASE_H_

#include <oaidl.h>

#endif  // KESTLE_COMPONENT_COM_OLE_BASE_H_
