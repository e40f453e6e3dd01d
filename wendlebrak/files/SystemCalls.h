#pragma once

#include <sys/types.h>

#include <cstddef>

namespace wendlebrak::files
{

/** The system calls through which replaceFile writes and renames. Tests swap them to make each step fail in turn;
    the program never changes them. */
struct SystemCalls
{
    int (*open)(const char* path, int flags, mode_t mode);
    ssize_t (*write)(int descriptor, const void* data, size_t size);
    int (*fsync)(int descriptor);
    int (*close)(int descriptor);
    int (*rename)(const char* from, const char* to);
    int (*unlink)(const char* path);
};

/** The operating system's own calls. */
const SystemCalls& realSystemCalls();

/** The calls in use; process-wide, changed only by tests while no other thread writes files. */
SystemCalls& systemCalls();

} // namespace wendlebrak::files
