#pragma once

namespace vetra::library {

// For the threads that read instruments streaming without flow control: real-time
// scheduling for the calling thread, so ordinary work cannot delay it. Where the system
// refuses, the thread stays at normal priority.
void raise_thread_priority();

}  // namespace vetra::library
