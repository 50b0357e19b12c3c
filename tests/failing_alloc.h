// SPDX-License-Identifier: MIT
// An allocator interposed in the test executable: malloc, calloc, realloc
// and free forward to glibc, count live blocks, and can be told to fail the
// n-th allocation from now. The library and yyjson (whose default allocator
// calls malloc) resolve these symbols from the executable first.
#ifndef PROMFMT_TEST_FAILING_ALLOC_H
#define PROMFMT_TEST_FAILING_ALLOC_H

namespace failing_alloc {

// Fails the allocation `n` calls from now (0: the very next one); -1 disarms.
void fail_after(long n);
// True once the armed failure has happened.
bool failed();
// Blocks allocated and not yet freed, over the whole process.
long live_blocks();

}  // namespace failing_alloc

#endif
