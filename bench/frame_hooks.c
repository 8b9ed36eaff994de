// Defined in the executable, these take the place of glibc's allocator
// entry points and of pthread_create for the module too: the module and the
// libraries it calls bind to the executable's definitions first.
#define _GNU_SOURCE
#include "frame_hooks.h"

#include <dlfcn.h>
#include <malloc.h>
#include <errno.h>
#include <execinfo.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

extern void* __libc_malloc(size_t);
extern void __libc_free(void*);
extern void* __libc_calloc(size_t, size_t);
extern void* __libc_realloc(void*, size_t);
extern void* __libc_memalign(size_t, size_t);
extern void* __libc_valloc(size_t);
extern void* __libc_pvalloc(size_t);

// ---- Allocation log -----------------------------------------------------

enum { kHeapCapacity = 1 << 14 };

static atomic_bool counting;
static atomic_int eventCount;
// Bytes in use beyond those at lvs_heap_begin, and their highest mark, by
// the blocks' usable sizes.
static atomic_long liveBytes, peakBytes;
static struct lvs_heap_event heapLog[kHeapCapacity];
// backtrace may allocate (the unwinder is loaded on first use); those
// requests are the measurement's own.
static _Thread_local int inHook;

// Not static and never inlined: the classifier skips this frame by name.
__attribute__((noinline)) void lvs_heap_note(size_t size) {
    if (!atomic_load_explicit(&counting, memory_order_relaxed) || inHook) return;
    inHook = 1;
    const int i = atomic_fetch_add_explicit(&eventCount, 1, memory_order_relaxed);
    if (i < kHeapCapacity) {
        heapLog[i].size = size;
        heapLog[i].frames = backtrace(heapLog[i].pc, LVS_HEAP_FRAMES);
    }
    inHook = 0;
}

void lvs_heap_begin(void) {
    // The first backtrace loads the unwinder: done here, outside the window.
    void* warm[4];
    backtrace(warm, 4);
    atomic_store(&eventCount, 0);
    atomic_store(&liveBytes, 0);
    atomic_store(&peakBytes, 0);
    atomic_store(&counting, 1);
}

static void lvs_heap_live(void* block, int sign) {
    if (!block || inHook || !atomic_load_explicit(&counting, memory_order_relaxed)) return;
    const long bytes = sign * (long)malloc_usable_size(block);
    const long live = atomic_fetch_add_explicit(&liveBytes, bytes, memory_order_relaxed) + bytes;
    long peak = atomic_load_explicit(&peakBytes, memory_order_relaxed);
    while (live > peak && !atomic_compare_exchange_weak_explicit(&peakBytes, &peak, live, memory_order_relaxed,
                                                                 memory_order_relaxed)) {
    }
}

long lvs_heap_peak(void) { return atomic_load(&peakBytes); }

int lvs_heap_end(void) {
    atomic_store(&counting, 0);
    return atomic_load(&eventCount);
}

const struct lvs_heap_event* lvs_heap_event_at(int i) { return i >= 0 && i < kHeapCapacity ? &heapLog[i] : NULL; }
int lvs_heap_capacity(void) { return kHeapCapacity; }

void* malloc(size_t size) {
    lvs_heap_note(size);
    void* p = __libc_malloc(size);
    lvs_heap_live(p, 1);
    return p;
}

void free(void* p) {
    lvs_heap_live(p, -1);
    __libc_free(p);
}

void* calloc(size_t count, size_t size) {
    size_t total;
    lvs_heap_note(__builtin_mul_overflow(count, size, &total) ? SIZE_MAX : total);
    void* p = __libc_calloc(count, size);
    lvs_heap_live(p, 1);
    return p;
}

void* realloc(void* p, size_t size) {
    lvs_heap_note(size);
    lvs_heap_live(p, -1);
    void* q = __libc_realloc(p, size);
    // A failed realloc keeps the block it was given.
    lvs_heap_live(q ? q : (size ? p : NULL), 1);
    return q;
}

void* reallocarray(void* p, size_t count, size_t size) {
    size_t total;
    if (__builtin_mul_overflow(count, size, &total)) {
        errno = ENOMEM;
        return NULL;
    }
    return realloc(p, total);
}

void* memalign(size_t alignment, size_t size) {
    lvs_heap_note(size);
    void* p = __libc_memalign(alignment, size);
    lvs_heap_live(p, 1);
    return p;
}

void* aligned_alloc(size_t alignment, size_t size) {
    lvs_heap_note(size);
    void* p = __libc_memalign(alignment, size);
    lvs_heap_live(p, 1);
    return p;
}

int posix_memalign(void** out, size_t alignment, size_t size) {
    if (alignment == 0 || alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
    lvs_heap_note(size);
    void* p = __libc_memalign(alignment, size);
    if (!p) return ENOMEM;
    lvs_heap_live(p, 1);
    *out = p;
    return 0;
}

void* valloc(size_t size) {
    lvs_heap_note(size);
    void* p = __libc_valloc(size);
    lvs_heap_live(p, 1);
    return p;
}

void* pvalloc(size_t size) {
    lvs_heap_note(size);
    void* p = __libc_pvalloc(size);
    lvs_heap_live(p, 1);
    return p;
}

// ---- Thread stacks ------------------------------------------------------

static const uint64_t kPattern = 0x5A17C0DE3C5AA5C3ull;
enum { kMaxPatternStacks = 64 };

static int stackMode;
static size_t stackBytes;
static pthread_mutex_t stackLock = PTHREAD_MUTEX_INITIALIZER;
static struct {
    const void* low;
    size_t bytes;
} patternStacks[kMaxPatternStacks];
static int patternStackCount;

void lvs_thread_stacks(int mode, size_t bytes) {
    stackMode = mode;
    stackBytes = bytes;
}

void* lvs_pattern_stack(size_t bytes) {
    const size_t page = (size_t)sysconf(_SC_PAGESIZE);
    bytes = (bytes + page - 1) / page * page;
    unsigned char* map =
        mmap(NULL, bytes + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (map == MAP_FAILED) return NULL;
    mprotect(map, page, PROT_NONE);
    uint64_t* words = (uint64_t*)(map + page);
    for (size_t i = 0; i < bytes / sizeof(uint64_t); ++i) words[i] = kPattern;
    return map + page;
}

const void* lvs_lowest_touched(const void* low, size_t bytes) {
    const uint64_t* words = (const uint64_t*)low;
    size_t i = 0;
    while (i < bytes / sizeof(uint64_t) && words[i] == kPattern) ++i;
    return (const unsigned char*)low + i * sizeof(uint64_t);
}

int lvs_pattern_stack_count(void) {
    pthread_mutex_lock(&stackLock);
    const int n = patternStackCount;
    pthread_mutex_unlock(&stackLock);
    return n;
}

void lvs_pattern_stack_at(int i, const void** low, size_t* bytes) {
    pthread_mutex_lock(&stackLock);
    *low = patternStacks[i].low;
    *bytes = patternStacks[i].bytes;
    pthread_mutex_unlock(&stackLock);
}

typedef int (*CreateFunction)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg) {
    static CreateFunction real;
    if (!real) real = (CreateFunction)dlsym(RTLD_NEXT, "pthread_create");
    if (attr || stackMode == LVS_STACKS_DEFAULT) return real(thread, attr, start, arg);

    pthread_attr_t own;
    pthread_attr_init(&own);
    if (stackMode == LVS_STACKS_SMALL) {
        pthread_attr_setstacksize(&own, stackBytes);
    } else {
        void* low = lvs_pattern_stack(stackBytes);
        if (!low) {
            pthread_attr_destroy(&own);
            return EAGAIN;
        }
        pthread_attr_setstack(&own, low, stackBytes);
        pthread_mutex_lock(&stackLock);
        if (patternStackCount < kMaxPatternStacks) {
            patternStacks[patternStackCount].low = low;
            patternStacks[patternStackCount].bytes = stackBytes;
            ++patternStackCount;
        }
        pthread_mutex_unlock(&stackLock);
    }
    const int result = real(thread, &own, start, arg);
    pthread_attr_destroy(&own);
    return result;
}
