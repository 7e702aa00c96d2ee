// KestleCallStdcall on i686: pushes the arguments, calls, and measures the
// stack pointer against the one saved before the pushes.
#include "component/com/test/stdcall_call.h"

// cdecl (the helper's own convention): the function at 8(%ebp), the
// arguments at 12, their count at 16, the imbalance's address at 20. The
// callee may change eax, ecx and edx only; ebx keeps the stack pointer of
// before the pushes.
asm(R"(
    .text
    .globl _KestleCallStdcall
    .def _KestleCallStdcall; .scl 2; .type 32; .endef
_KestleCallStdcall:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
    movl %esp, %ebx
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%esi,%ecx,4)
    jmp 1b
2:  call *8(%ebp)
    movl %esp, %ecx
    subl %ebx, %ecx
    movl %ebx, %esp
    movl 20(%ebp), %edx
    movl %ecx, (%edx)
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");
