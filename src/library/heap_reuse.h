#pragma once

namespace vetra::library {

// Large blocks that are freed and wanted again at once (the page buffers a PDF printer
// allocates and frees for every page) stay with the process instead of going back to the
// system and being faulted in anew each time. The limits are those the C library reaches
// by itself once such a block has been freed; they are only set earlier. Safe to call again.
void keep_large_blocks_for_reuse();

}  // namespace vetra::library
