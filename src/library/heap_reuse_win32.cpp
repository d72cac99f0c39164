#include "library/heap_reuse.h"

namespace vetra::library {

// The Windows heap keeps freed large blocks for reuse by itself.
void keep_large_blocks_for_reuse() {}

}  // namespace vetra::library
