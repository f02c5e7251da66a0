#include "platform/MemoryPolicy.h"

#include <QtGlobal>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void keepLargeBuffersForReuse()
{
#if defined(__GLIBC__)
    // Below 32 MiB nothing gets a mapping of its own, and the heap is given back only when
    // 128 MiB lie free at its top.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
}
