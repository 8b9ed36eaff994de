// How often one file is opened, by whatever path: open_counter.c on POSIX,
// open_counter_windows.cpp on Windows.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Starts counting the opens of the file at `path` from 0; a path that names
// no file counts nothing.
void lvs_count_opens_of(const char* path);
int lvs_opens_counted(void);

#ifdef __cplusplus
}
#endif
