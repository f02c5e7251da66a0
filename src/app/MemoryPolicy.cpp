#include "app/MemoryPolicy.h"

#include <QtGlobal>

#include <cstdio>

#if defined(Q_OS_LINUX)
#include <unistd.h>
#endif

#if defined(__GLIBC__) && !defined(QUORVANE_PORTABLE)
#include <malloc.h>
#endif

void keepLargeBuffersForReuse()
{
#if defined(__GLIBC__) && !defined(QUORVANE_PORTABLE)
    // Below 32 MiB nothing gets a mapping of its own, and the heap is given back only when
    // 128 MiB lie free at its top.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
}

qint64 residentBytes()
{
#if defined(Q_OS_LINUX)
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm)
        return 0;
    long size = 0;
    long resident = 0;
    if (std::fscanf(statm, "%ld %ld", &size, &resident) != 2)
        resident = 0;
    std::fclose(statm);
    return qint64(resident) * sysconf(_SC_PAGESIZE);
#else
    return 0;
#endif
}
