#include "library/thread_priority.h"

#include <windows.h>

namespace vetra::library {

void raise_thread_priority() {
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
}

}  // namespace vetra::library
