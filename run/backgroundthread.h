#pragma once

#include <functional>

// Starts work on a thread of its own that nobody waits for: it frees itself when the work has
// returned. The program counts these threads, so that it can end at once, without shutting the
// client library down under one of them that is still talking to the server.
void startBackgroundThread(std::function<void()> work);

// Background threads whose work has not returned yet.
int backgroundThreadsRunning();
