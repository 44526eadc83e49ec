// Synchronous hand-over: a worker thread has the user-interface thread run one
// method and waits until it has run; a failure raised by the method is raised
// again in the worker.
//
// The requests of all workers are gathered: the first one posts a single
// event to the user-interface thread, and that pass runs every request
// waiting, then those that arrived meanwhile, at most about 8 ms at a time.
// Past that the next pass comes from a zero-time timer, so that the event
// loop takes up input, paints and other timers between two slices and many
// workers reporting at once never starve the window, while every request
// still runs on the user-interface thread with its worker waiting. No event
// is posted while a pass is announced, and one posted while a pass ran is
// withdrawn when that pass has taken its requests itself.
#pragma once

#include <functional>

namespace handover {

// Makes sure the hand-over queue exists. Call it on the user-interface thread
// before the first worker starts (the worker's constructor does).
void Prepare();

// Runs Method on the user-interface thread and blocks until it has run. Called
// from a worker thread. Without an application object, Method runs at once on
// the calling thread.
void Run(const std::function<void()>& Method);

}  // namespace handover
