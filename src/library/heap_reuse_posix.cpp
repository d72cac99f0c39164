#include "library/heap_reuse.h"

#include <cstdlib>  // defines __GLIBC__ where it applies
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vetra::library {

void keep_large_blocks_for_reuse() {
#if defined(__GLIBC__)
    // Without this a freed 16 MB buffer at the top of the heap is returned at once, and a
    // thousand-page print spends a third of its time in page faults.
    static const bool done = [] {
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        mallopt(M_TRIM_THRESHOLD, 64 << 20);
        return true;
    }();
    (void)done;
#endif
}

}  // namespace vetra::library
