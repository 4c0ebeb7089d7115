// Execution contexts: stacks with guard pages and the user-space switch.
#include "platform/kernel/context.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#include <sanitizer/common_interface_defs.h>
#define KERNEL_ASAN 1
#endif

namespace kernel {
namespace {

// Every switch happens on the one processor host thread: the two ends of the
// switch under way, for the side that resumes.
Context* g_from = nullptr;
Context* g_to = nullptr;

struct StartInfo {
    void (*entry)(void*);
    void* arg;
};

// Where a context is when it first runs: at the top of its stack.
StartInfo* start_info(Context* c) {
    return reinterpret_cast<StartInfo*>(c->mapping + c->mapping_size) - 1;
}

// The resumed side of a switch: AddressSanitizer learns where we came from.
void switched_in(Context* self) {
#if defined(KERNEL_ASAN)
    const void* bottom = nullptr;
    size_t size = 0;
    __sanitizer_finish_switch_fiber(self->fake_stack, &bottom, &size);
    if (g_from && !g_from->mapping) { // the host thread's own stack: bounds learnt here
        g_from->stack_bottom = bottom;
        g_from->stack_size = size;
    }
#else
    (void)self;
#endif
}

void switching_out(Context* from, Context* to, bool from_ends) {
#if defined(KERNEL_ASAN)
    __sanitizer_start_switch_fiber(from_ends ? nullptr : &from->fake_stack, to->stack_bottom,
                                   to->stack_size);
#else
    (void)from, (void)to, (void)from_ends;
#endif
    g_from = from;
    g_to = to;
}

} // namespace
} // namespace kernel

// The first code a new context runs.
extern "C" [[noreturn]] void kernel_context_start() {
    using namespace kernel;
    Context* self = g_to;
    switched_in(self);
    StartInfo info = *start_info(self);
    info.entry(info.arg);
    std::abort(); // an entry never returns
}

#if defined(__x86_64__)

// kernel_context_swap(void** save_sp, void* new_sp): push the callee-saved
// registers, keep the stack pointer, take the other stack and pop its
// registers. A new stack holds zeroed registers and the trampoline's address.
asm(R"(
    .text
    .globl kernel_context_swap
    .type kernel_context_swap, @function
kernel_context_swap:
    pushq %rbp
    pushq %rbx
    pushq %r12
    pushq %r13
    pushq %r14
    pushq %r15
    movq %rsp, (%rdi)
    movq %rsi, %rsp
    popq %r15
    popq %r14
    popq %r13
    popq %r12
    popq %rbx
    popq %rbp
    ret
    .size kernel_context_swap, .-kernel_context_swap

    .globl kernel_context_trampoline
    .type kernel_context_trampoline, @function
kernel_context_trampoline:
    .cfi_startproc
    .cfi_undefined rip
    xorl %ebp, %ebp
    call kernel_context_start@PLT
    ud2
    .cfi_endproc
    .size kernel_context_trampoline, .-kernel_context_trampoline
)");

extern "C" void kernel_context_swap(void** save_sp, void* new_sp);
extern "C" void kernel_context_trampoline();

#endif

namespace kernel {

bool context_make(Context* c, size_t stack_bytes, void (*entry)(void*), void* arg) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t usable = (stack_bytes + page - 1) / page * page;
    size_t total = usable + page;
    void* p = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK,
                   -1, 0);
    if (p == MAP_FAILED) return false;
    mprotect(p, page, PROT_NONE); // the guard page: an overflow faults at once
    c->mapping = static_cast<uint8_t*>(p);
    c->mapping_size = total;
    c->stack_bottom = c->mapping + page;
    c->stack_size = usable;
    c->fake_stack = nullptr;
    *start_info(c) = StartInfo{entry, arg};
    // The stack below the start information, 16-byte aligned at the trampoline's call.
    uintptr_t top = reinterpret_cast<uintptr_t>(start_info(c)) & ~uintptr_t(15);
#if defined(__x86_64__)
    void** frame = reinterpret_cast<void**>(top) - 7;
    for (int i = 0; i < 6; ++i)
        frame[i] = nullptr; // r15 r14 r13 r12 rbx rbp
    frame[6] = reinterpret_cast<void*>(&kernel_context_trampoline);
    c->sp = frame;
#else
    getcontext(&c->uc);
    c->uc.uc_stack.ss_sp = c->mapping + page;
    c->uc.uc_stack.ss_size = top - reinterpret_cast<uintptr_t>(c->mapping + page);
    c->uc.uc_link = nullptr;
    makecontext(&c->uc, reinterpret_cast<void (*)()>(&kernel_context_start), 0);
#endif
    return true;
}

void context_switch(Context* from, Context* to, bool from_ends) {
    switching_out(from, to, from_ends);
#if defined(__x86_64__)
    kernel_context_swap(&from->sp, to->sp);
#else
    swapcontext(&from->uc, &to->uc);
#endif
    switched_in(from);
}

void context_free(Context* c) {
    if (!c->mapping) return;
#if defined(KERNEL_ASAN)
    // Frames left poisoned on this stack must not haunt the next mapping here.
    ASAN_UNPOISON_MEMORY_REGION(c->mapping, c->mapping_size);
#endif
    munmap(c->mapping, c->mapping_size);
    c->mapping = nullptr;
    c->mapping_size = 0;
}

} // namespace kernel
