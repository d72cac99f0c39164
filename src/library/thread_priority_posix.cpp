#include "library/thread_priority.h"

#include <pthread.h>
#include <sched.h>

namespace vetra::library {

void raise_thread_priority() {
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO);
    if (param.sched_priority >= 0) {
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    }
}

}  // namespace vetra::library
