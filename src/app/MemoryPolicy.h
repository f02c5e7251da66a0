#pragma once

#include <QtGlobal>

// Keeps the large buffers a flood goes through (socket reads of a megabyte, store blocks) in
// the process's heap once freed, instead of handing them back to the system and having every
// new one zeroed afresh by it. Call once at start-up; does nothing where the C library has no
// such settings (glibc has), nor in the portable build.
void keepLargeBuffersForReuse();

// The process's resident memory in bytes, for measuring what a run costs (the benchmark, the
// soak); 0 where the system does not say. A measurement, not a path of the program: the
// portable build reads it too.
qint64 residentBytes();
