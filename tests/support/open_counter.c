// Counts how often one file is opened, by whatever path it is named. Two
// ways in: linked into a test program that exports its symbols, these
// definitions of open and openat are the ones the module binds to as well;
// preloaded into another program (LD_PRELOAD), it counts the file named by
// LVS_COUNT_OPENS_OF and writes the count to LVS_OPEN_COUNT_FILE at exit.
// Only successful opens are counted, each compared by device and inode.
#define _GNU_SOURCE
#include "open_counter.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

static atomic_int armed;
static dev_t targetDevice;
static ino_t targetInode;
static atomic_int counted;

void lvs_count_opens_of(const char* path) {
  struct stat status;
  atomic_store(&armed, 0);
  atomic_store(&counted, 0);
  if (path && stat(path, &status) == 0) {
    targetDevice = status.st_dev;
    targetInode = status.st_ino;
    atomic_store(&armed, 1);
  }
}

int lvs_opens_counted(void) { return atomic_load(&counted); }

static int Note(int fd) {
  struct stat status;
  if (fd >= 0 && atomic_load(&armed) && fstat(fd, &status) == 0 && status.st_dev == targetDevice &&
      status.st_ino == targetInode)
    atomic_fetch_add(&counted, 1);
  return fd;
}

// The mode argument is there only when the flags create a file.
static mode_t ModeOf(int flags, va_list args) {
  return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(args, int) : 0;
}

typedef int (*OpenFunction)(const char*, int, ...);
typedef int (*OpenAtFunction)(int, const char*, int, ...);

#define LVS_OPEN(name)                                                   \
  int name(const char* path, int flags, ...) {                           \
    static OpenFunction next;                                            \
    if (!next) next = (OpenFunction)dlsym(RTLD_NEXT, #name);             \
    va_list args;                                                        \
    va_start(args, flags);                                               \
    const mode_t mode = ModeOf(flags, args);                             \
    va_end(args);                                                        \
    return Note(next(path, flags, mode));                                \
  }
#define LVS_OPENAT(name)                                                 \
  int name(int directory, const char* path, int flags, ...) {            \
    static OpenAtFunction next;                                          \
    if (!next) next = (OpenAtFunction)dlsym(RTLD_NEXT, #name);           \
    va_list args;                                                        \
    va_start(args, flags);                                               \
    const mode_t mode = ModeOf(flags, args);                             \
    va_end(args);                                                        \
    return Note(next(directory, path, flags, mode));                     \
  }

LVS_OPEN(open)
LVS_OPEN(open64)
LVS_OPENAT(openat)
LVS_OPENAT(openat64)

// What fortified builds call instead of open.
int __open_2(const char* path, int flags) { return open(path, flags); }
int __open64_2(const char* path, int flags) { return open64(path, flags); }

__attribute__((constructor)) static void StartCounting(void) {
  const char* path = getenv("LVS_COUNT_OPENS_OF");
  if (path) lvs_count_opens_of(path);
}

__attribute__((destructor)) static void ReportCount(void) {
  const char* to = getenv("LVS_OPEN_COUNT_FILE");
  if (!to || !atomic_load(&armed)) return;
  FILE* file = fopen(to, "w");
  if (!file) return;
  fprintf(file, "%d\n", lvs_opens_counted());
  fclose(file);
}
