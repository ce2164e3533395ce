/*
 * qemu_mend.so: preloaded into every 32-bit process that runs under qemu's
 * user-mode emulator (qemu-i386 7.2) in the test world, to mend the three
 * faults of that emulator that break Wine:
 *
 * 1. Signal frames carry trapno -1. Wine tells page faults from other
 *    faults by the trap number, so guard pages and stack growth fail. The
 *    handlers Wine installs for SEGV, BUS, ILL, TRAP and FPE are called
 *    through a trampoline that rebuilds the trap number from the signal and
 *    its si_code first.
 * 2. One emulated GDT for the whole process: the thread-local slot that
 *    set_thread_area fills (Wine's TEB in %fs, the C library's thread block
 *    in %gs) is shared by all threads, so a segment reload picks up another
 *    thread's base. Wine's probe of set_thread_area is made to fail, so Wine
 *    gives each thread an LDT selector of its own for %fs; and each thread
 *    gets an LDT selector of its own for %gs here (the LDT entries are
 *    distinct, so sharing the table does no harm). Around the clone of a new
 *    thread the parent briefly loads the GDT selector again, with its own
 *    base and with signals blocked, because qemu gives the child the
 *    parent's %gs selector and loads it from the table it just wrote. A
 *    thread's entry is given back when it ends and used again once the
 *    thread is gone.
 * 3. MAP_FIXED_NOREPLACE is ignored: a mapping the address cannot take is
 *    placed elsewhere instead of failing with EEXIST. The failure is
 *    restored.
 *
 * Freestanding: built with gcc -m32 -ffreestanding -nostdlib -shared; what it
 * needs of the C library (dlsym, malloc, free, __errno_location) is bound
 * when it is loaded, the thread keys through dlsym.
 */
#include <stdarg.h>
#include <stddef.h>

#define RTLD_NEXT ((void *)-1l)
extern void *dlsym(void *handle, const char *name);
extern void *malloc(size_t size);
extern void free(void *p);
extern int *__errno_location(void);

/* i386 system calls */
enum {
    NR_write = 4,
    NR_getpid = 20,
    NR_munmap = 91,
    NR_modify_ldt = 123,
    NR_sched_yield = 158,
    NR_rt_sigprocmask = 175,
    NR_mmap2 = 192,
    NR_gettid = 224,
    NR_set_thread_area = 243,
    NR_exit_group = 252,
    NR_tgkill = 270,
};
enum { ESRCH = 3, EAGAIN = 11, EEXIST = 17, ENOSYS = 38 };
enum { SIG_BLOCK = 0, SIG_SETMASK = 2 };
/* The kernel's signal set: 64 signals. rt_sigprocmask refuses any other size. */
#define SIGSET_BYTES 8
#define MAP_FIXED_NOREPLACE 0x100000
#define MAP_FAILED ((void *)-1)

long raw_syscall6(long nr, long a, long b, long c, long d, long e, long f);
__asm__(".text\n"
        ".globl raw_syscall6\n"
        ".hidden raw_syscall6\n"
        ".type raw_syscall6,@function\n"
        "raw_syscall6:\n"
        "  push %ebp\n  push %edi\n  push %esi\n  push %ebx\n"
        "  mov 20(%esp),%eax\n  mov 24(%esp),%ebx\n  mov 28(%esp),%ecx\n"
        "  mov 32(%esp),%edx\n  mov 36(%esp),%esi\n  mov 40(%esp),%edi\n"
        "  mov 44(%esp),%ebp\n"
        "  int $0x80\n"
        "  pop %ebx\n  pop %esi\n  pop %edi\n  pop %ebp\n"
        "  ret\n");

static long sys(long nr, long a, long b, long c)
{
    return raw_syscall6(nr, a, b, c, 0, 0, 0);
}

static long sigmask(int how, const unsigned long *set, unsigned long *old)
{
    return raw_syscall6(NR_rt_sigprocmask, how, (long)set, (long)old, SIGSET_BYTES, 0, 0);
}

/* A thread that cannot go on safely ends the process with a line saying why. */
static void die(const char *what)
{
    static const char prefix[] = "qemu_mend: ";
    long n = 0;
    while (what[n])
        ++n;
    sys(NR_write, 2, (long)prefix, sizeof prefix - 1);
    sys(NR_write, 2, (long)what, n);
    sys(NR_write, 2, (long)"\n", 1);
    sys(NR_exit_group, 127, 0, 0);
}

/* A raw result as the C library gives it: -1 with errno. */
static long libc_result(long r)
{
    if (r < 0 && r > -4096) {
        *__errno_location() = (int)-r;
        return -1;
    }
    return r;
}

/* ---- 2. Thread-local selectors ---------------------------------------- */

struct user_desc {
    unsigned entry_number;
    unsigned long base_addr;
    unsigned limit;
    unsigned seg_32bit : 1;
    unsigned contents : 2;
    unsigned read_exec_only : 1;
    unsigned limit_in_pages : 1;
    unsigned seg_not_present : 1;
    unsigned useable : 1;
};

static unsigned short read_gs(void)
{
    unsigned short sel;
    __asm__ volatile("mov %%gs,%0" : "=r"(sel));
    return sel;
}

static void load_gs(unsigned short sel)
{
    __asm__ volatile("mov %0,%%gs" ::"r"(sel) : "memory");
}

/* The thread block's own address: its first word points to itself. */
static unsigned long thread_block(void)
{
    unsigned long self;
    __asm__ volatile("mov %%gs:0,%0" : "=r"(self));
    return self;
}

static void fill(struct user_desc *d, unsigned entry, unsigned long base)
{
    __builtin_memset(d, 0, sizeof *d);
    d->entry_number = entry;
    d->base_addr = base;
    d->limit = 0xfffff;
    d->seg_32bit = 1;
    d->limit_in_pages = 1;
    d->useable = 1;
}

static unsigned short g_gdt_gs;          /* the C library's selector */

/* LDT entries for %gs, from the top down. An ending thread gives its entry
   back; it is used again only once that thread is gone, because the thread
   still runs on it for a while after its last destructor. */
enum { LDT_TOP = 8191, SPARE_MAX = 256 };
static volatile int g_lock;              /* taken with signals blocked */
static int g_next_ldt = LDT_TOP;
static struct { int entry, tid; } g_spare[SPARE_MAX];
static int g_spares;

static void lock(void)
{
    while (__sync_lock_test_and_set(&g_lock, 1))
        sys(NR_sched_yield, 0, 0, 0);
}

static void unlock(void)
{
    __sync_lock_release(&g_lock);
}

static int thread_gone(int tid)
{
    return sys(NR_tgkill, sys(NR_getpid, 0, 0, 0), tid, 0) == -ESRCH;
}

static int take_entry(void)
{
    int entry = 0;
    lock();
    for (int i = 0; i < g_spares; ++i) {
        if (thread_gone(g_spare[i].tid)) {
            entry = g_spare[i].entry;
            g_spare[i] = g_spare[--g_spares];
            break;
        }
    }
    if (!entry && g_next_ldt > 0)
        entry = g_next_ldt--;
    unlock();
    return entry;
}

/* The thread key whose destructor gives an ending thread's entry back. */
typedef int (*key_create_fn)(unsigned *, void (*)(void *));
typedef int (*set_specific_fn)(unsigned, const void *);
static unsigned g_key;
static set_specific_fn g_set_specific;

static void give_back(void *value)
{
    const unsigned long all[2] = {~0ul, ~0ul};
    unsigned long mask[2];
    if (sigmask(SIG_BLOCK, all, mask) < 0)
        die("blocking signals failed");
    lock();
    if (g_spares < SPARE_MAX) {
        g_spare[g_spares].entry = (int)(long)value;
        g_spare[g_spares].tid = (int)sys(NR_gettid, 0, 0, 0);
        ++g_spares;
    }
    unlock();
    if (sigmask(SIG_SETMASK, mask, 0) < 0)
        die("restoring the signal mask failed");
}

/* Made by the first thread that starts another, with signals blocked. */
static void make_key(void)
{
    lock();
    if (!g_set_specific) {
        key_create_fn create = (key_create_fn)dlsym(RTLD_NEXT, "pthread_key_create");
        set_specific_fn set = (set_specific_fn)dlsym(RTLD_NEXT, "pthread_setspecific");
        if (create && set && create(&g_key, give_back) == 0)
            g_set_specific = set;
    }
    unlock();
}

/* Gives the calling thread an LDT selector of its own for %gs; signals
   are blocked. */
static void own_gs(void)
{
    const unsigned long base = thread_block();
    const int entry = take_entry();
    struct user_desc d;
    fill(&d, (unsigned)entry, base);
    if (entry > 0 && sys(NR_modify_ldt, 1, (long)&d, sizeof d) == 0) {
        load_gs((unsigned short)(entry << 3 | 7));
        if (g_set_specific)
            g_set_specific(g_key, (void *)(long)entry);
    }
}

struct start {
    void *(*fn)(void *);
    void *arg;
    unsigned long mask[2];
};

static void *thread_start(void *p)
{
    struct start s = *(struct start *)p;
    free(p);
    own_gs();
    if (sigmask(SIG_SETMASK, s.mask, 0) < 0)
        die("restoring a new thread's signal mask failed");
    return s.fn(s.arg);
}

typedef int (*create_fn)(void *, const void *, void *(*)(void *), void *);

__attribute__((visibility("default"))) int pthread_create(void *thread, const void *attr,
                                                          void *(*fn)(void *), void *arg)
{
    static create_fn real;
    if (!real)
        real = (create_fn)dlsym(RTLD_NEXT, "pthread_create");
    struct start *s = malloc(sizeof *s);
    if (!s)
        return EAGAIN;
    s->fn = fn;
    s->arg = arg;
    const unsigned long all[2] = {~0ul, ~0ul};
    const long blocked = sigmask(SIG_BLOCK, all, s->mask);
    if (blocked < 0) {
        free(s);
        return (int)-blocked;
    }
    make_key();
    /* The GDT slot with our own base, loaded: the child's %gs comes from
       the slot as the clone rewrites it. */
    const unsigned short own = read_gs();
    struct user_desc d;
    fill(&d, g_gdt_gs >> 3, thread_block());
    sys(NR_set_thread_area, (long)&d, 0, 0);
    load_gs(g_gdt_gs);
    const unsigned long mask[2] = {s->mask[0], s->mask[1]};
    const int r = real(thread, attr, thread_start, s);
    load_gs(own);
    if (r != 0)
        free(s);
    if (sigmask(SIG_SETMASK, mask, 0) < 0)
        die("restoring the signal mask failed");
    return r;
}

/* Wine asks set_thread_area for a GDT slot of its own for %fs through
   syscall(): refused, it uses an LDT entry per thread instead. */
__attribute__((visibility("default"))) long syscall(long nr, ...)
{
    va_list ap;
    va_start(ap, nr);
    long a[6];
    for (int i = 0; i < 6; ++i)
        a[i] = va_arg(ap, long);
    va_end(ap);
    if (nr == NR_set_thread_area)
        return libc_result(-ENOSYS);
    return libc_result(raw_syscall6(nr, a[0], a[1], a[2], a[3], a[4], a[5]));
}

/* ---- 1. Trap numbers -------------------------------------------------- */

typedef void (*action_fn)(int, void *, void *);

struct k_sigaction {   /* the C library's struct sigaction on i386 */
    void *handler;
    unsigned long mask[32];
    int flags;
    void (*restorer)(void);
};

enum { SIGILL = 4, SIGTRAP = 5, SIGBUS = 7, SIGFPE = 8, SIGSEGV = 11 };
enum { SA_SIGINFO = 4 };
enum { REG_TRAPNO = 12 };

static void *g_handlers[32];

static int mended(int sig)
{
    return sig == SIGSEGV || sig == SIGBUS || sig == SIGILL || sig == SIGTRAP || sig == SIGFPE;
}

/* The trap a signal of this kind comes from on a real kernel. */
static int trap_number(int sig, int code)
{
    switch (sig) {
    case SIGSEGV: return 14;                      /* page fault */
    case SIGBUS: return 17;                       /* alignment check */
    case SIGILL: return 6;                        /* invalid opcode */
    case SIGTRAP: return code == 2 ? 1 : 3;       /* TRAP_TRACE: single step; else int3 */
    case SIGFPE:
        switch (code) {
        case 1: return 0;                         /* FPE_INTDIV */
        case 2: return 4;                         /* FPE_INTOVF */
        default: return 16;                       /* x87 */
        }
    }
    return -1;
}

static void trampoline(int sig, void *info, void *context)
{
    /* ucontext: flags, link, stack (3 words), then the registers. */
    long *gregs = (long *)((char *)context + 20);
    if (gregs[REG_TRAPNO] == -1)
        gregs[REG_TRAPNO] = trap_number(sig, ((int *)info)[2]);
    action_fn handler = (action_fn)__atomic_load_n(&g_handlers[sig], __ATOMIC_SEQ_CST);
    handler(sig, info, context);
}

typedef int (*sigaction_fn)(int, const struct k_sigaction *, struct k_sigaction *);

__attribute__((visibility("default"))) int sigaction(int sig, const struct k_sigaction *act,
                                                     struct k_sigaction *old)
{
    static sigaction_fn real;
    if (!real)
        real = (sigaction_fn)dlsym(RTLD_NEXT, "sigaction");
    if (!mended(sig))
        return real(sig, act, old);
    void *previous = g_handlers[sig];
    const int trampolined = act && (act->flags & SA_SIGINFO);
    struct k_sigaction mine;
    const struct k_sigaction *use = act;
    if (trampolined) {
        mine = *act;
        mine.handler = (void *)trampoline;
        use = &mine;
        /* Stored first: the trampoline may run as soon as it is installed. */
        __atomic_store_n(&g_handlers[sig], act->handler, __ATOMIC_SEQ_CST);
    }
    const int r = real(sig, use, old);
    if (r != 0) {
        if (trampolined)
            __atomic_store_n(&g_handlers[sig], previous, __ATOMIC_SEQ_CST);
        return r;
    }
    if (old && old->handler == (void *)trampoline)
        old->handler = previous;
    /* Cleared only once the trampoline can no longer run. */
    if (act && !trampolined)
        __atomic_store_n(&g_handlers[sig], (void *)0, __ATOMIC_SEQ_CST);
    return r;
}

/* ---- 3. MAP_FIXED_NOREPLACE ------------------------------------------- */

static void *map(void *addr, size_t len, int prot, int flags, int fd, unsigned long long off)
{
    if (off & 4095)
        return (void *)libc_result(-22 /* EINVAL */);
    long r = raw_syscall6(NR_mmap2, (long)addr, (long)len, prot, flags, fd, (long)(off >> 12));
    if (r < 0 && r > -4096)
        return (void *)libc_result(r);
    if ((flags & MAP_FIXED_NOREPLACE) && (void *)r != addr) {
        sys(NR_munmap, r, (long)len, 0);
        return (void *)libc_result(-EEXIST);
    }
    return (void *)r;
}

__attribute__((visibility("default"))) void *mmap(void *addr, size_t len, int prot, int flags, int fd, long off)
{
    return map(addr, len, prot, flags, fd, (unsigned long long)(unsigned long)off);
}

__attribute__((visibility("default"))) void *mmap64(void *addr, size_t len, int prot, int flags, int fd,
                                                    long long off)
{
    return map(addr, len, prot, flags, fd, (unsigned long long)off);
}

/* The main thread's %gs, as soon as the library is loaded (one thread, no
   signal handlers yet). Its entry lives as long as the process. */
__attribute__((constructor)) static void init(void)
{
    g_gdt_gs = read_gs();
    own_gs();
}
