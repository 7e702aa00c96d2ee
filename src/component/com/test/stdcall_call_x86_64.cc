// KestleCallStdcall on x86_64: a plain call with the arguments in the
// positions the one x64 calling convention gives them.
#include <array>
#include <cstddef>
#include <utility>

#include "component/com/test/stdcall_call.h"

namespace {

template <size_t>
using Arg = uintptr_t;

template <size_t... I>
uint32_t CallWith(const void* function, const uintptr_t* args, std::index_sequence<I...>) {
  using Function = uint32_t (*)(Arg<I>...);
  return reinterpret_cast<Function>(const_cast<void*>(function))(args[I]...);
}

template <size_t N>
uint32_t CallN(const void* function, const uintptr_t* args) {
  return CallWith(function, args, std::make_index_sequence<N>());
}

// Callers for 0 to 15 arguments (the longest method takes 13 with `this`).
template <size_t... N>
constexpr auto Callers(std::index_sequence<N...>) {
  return std::array{&CallN<N>...};
}
constexpr auto kCallers = Callers(std::make_index_sequence<16>());

}  // namespace

extern "C" uint32_t KestleCallStdcall(const void* function, const uintptr_t* args, uint32_t count,
                                      intptr_t* imbalance) {
  *imbalance = 0;
  return count < kCallers.size() ? kCallers[count](function, args) : 0xFFFFFFFFu;
}
