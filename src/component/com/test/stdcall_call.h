// A call that checks the __stdcall convention: the caller pushes the
// arguments, the callee must remove exactly them.
#ifndef KESTLE_COMPONENT_COM_TEST_STDCALL_CALL_H_
#define KESTLE_COMPONENT_COM_TEST_STDCALL_CALL_H_

#include <cstdint>

// Calls `function` as __stdcall with `count` pointer-sized arguments (first
// argument first) and returns what it returns in the accumulator (an
// HRESULT or a reference count). `*imbalance` receives how far the stack
// pointer stands, after the call, from where it stood before the arguments
// were pushed: 0 when the callee removed exactly its arguments. The stack
// pointer is restored either way. On x86_64, which has one calling
// convention, the call is a plain call and the imbalance is always 0.
extern "C" uint32_t KestleCallStdcall(const void* function, const uintptr_t* args, uint32_t count,
                                      intptr_t* imbalance);

#endif  // KESTLE_COMPONENT_COM_TEST_STDCALL_CALL_H_
