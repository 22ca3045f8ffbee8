#pragma once
// Waiting on the page's thread for the size worker. The worker's updates are
// sent, and a send waits for this very thread to handle it: a wait of the
// page's lets messages sent to its thread through, and nothing else, so that
// posted ones stay queued for the thread's own loop.

#include <windows.h>

// Handles the messages that other threads have sent to this one.
void HandleSentMessages() noexcept;

// Milliseconds left until deadline, a GetTickCount value; 0 once it passed.
DWORD MillisecondsLeft(DWORD deadline) noexcept;
