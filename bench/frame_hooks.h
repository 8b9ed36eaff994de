// Process-wide hooks bench_frame links in: a counting forwarder in front of
// glibc's allocator, and thread stacks that show how deep they were used.
//
// The allocator stays glibc's own (every call goes on to __libc_malloc and
// its kin); the forwarder only adds a relaxed load of a flag, and records
// anything only between lvs_heap_begin and lvs_heap_end: each request and
// who made it, and the bytes in use.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { LVS_HEAP_FRAMES = 24 };

struct lvs_heap_event {
  size_t size;  // bytes asked for (the new size, for realloc)
  int frames;   // return addresses in pc, innermost first
  void* pc[LVS_HEAP_FRAMES];
};

void lvs_heap_begin(void);
// Returns the number of allocation requests since lvs_heap_begin; events
// past the log's capacity are counted but not kept.
int lvs_heap_end(void);
const struct lvs_heap_event* lvs_heap_event_at(int i);
int lvs_heap_capacity(void);
// The most bytes in use at once (by the blocks' usable sizes) between
// lvs_heap_begin and lvs_heap_end, beyond those in use at lvs_heap_begin.
long lvs_heap_peak(void);

// What pthread_create does with threads made without attributes (the host's
// workers are std::threads): keep glibc's default, give each a fresh stack
// of `bytes` filled with a pattern, or give each a stack of `bytes` made by
// glibc (to see a draw survive on small stacks).
enum { LVS_STACKS_DEFAULT = 0, LVS_STACKS_PATTERN = 1, LVS_STACKS_SMALL = 2 };
void lvs_thread_stacks(int mode, size_t bytes);

// A pattern-filled stack of `bytes` above a guard page, for
// pthread_attr_setstack; never freed (the measuring process is short).
void* lvs_pattern_stack(size_t bytes);
// The lowest address in [low, low + bytes) whose word no longer holds the
// pattern; low + bytes when nothing was touched.
const void* lvs_lowest_touched(const void* low, size_t bytes);
// The pattern stacks given to threads so far.
int lvs_pattern_stack_count(void);
void lvs_pattern_stack_at(int i, const void** low, size_t* bytes);

#ifdef __cplusplus
}
#endif
