/* Can this machine run 32-bit x86 code? Wine runs the shipped 32-bit
 * programs in WoW64 mode: a 64-bit process that switches to the 32-bit code
 * segment (0x23) for Windows code and back for system calls. Some kernels
 * (or the hypervisors under them) provide no such segment; the switch then
 * faults. The probe makes the same switch once: it runs a few bytes of
 * 32-bit code that put 42 in eax and come back. Exit 0 when it works; a
 * crash or any other status means it does not. */
#include <stdint.h>
#include <string.h>
#include <sys/mman.h>

/* Referred to only from the assembly below. */
__attribute__((used)) static uint64_t saved_rsp;

int main(void) {
    /* Code and stack below 4 GiB, where 32-bit code can reach them. */
    unsigned char* low = mmap(NULL, 8192, PROT_READ | PROT_WRITE | PROT_EXEC,
                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    if (low == MAP_FAILED)
        return 2;
    /* mov eax, 42 ; retf (32-bit: pops eip, then cs) */
    static const unsigned char code[] = {0xB8, 42, 0, 0, 0, 0xCB};
    memcpy(low, code, sizeof code);
    uint64_t stack = (uint64_t)(uintptr_t)(low + 8000);
    uint32_t result = 0;
    __asm__ volatile("mov %%rsp, saved_rsp(%%rip)\n"
                     "mov %2, %%rsp\n"
                     /* The way back: 64-bit cs:eip as the 32-bit far return reads it. */
                     "lea 1f(%%rip), %%rcx\n"
                     "mov %%cs, %%edx\n"
                     "shl $32, %%rdx\n"
                     "or %%rcx, %%rdx\n"
                     "push %%rdx\n"
                     /* The way there: 0x23:code. */
                     "pushq $0x23\n"
                     "push %1\n"
                     "lretq\n"
                     "1:\n"
                     "mov saved_rsp(%%rip), %%rsp\n"
                     : "=a"(result)
                     : "r"((uint64_t)(uintptr_t)low), "r"(stack)
                     : "rcx", "rdx", "memory");
    return result == 42 ? 0 : 3;
}
