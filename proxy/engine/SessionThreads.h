#pragma once

#include <cstddef>

/// Session threads are kept for the next connection when they finish one: waking a
/// waiting thread costs far less than starting one, and lets the listener get back
/// to its queue sooner. Each connection still has a thread of its own.
inline constexpr size_t kMaxIdleSessionThreads = 64;
inline constexpr int kIdleSessionThreadMs = 30'000; // an idle thread ends after this

/// Runs fn(arg) on a thread of its own: a finished session thread waiting for work,
/// or a new one with a stack of stackBytes (0: the default). Returns false when no
/// thread could be had; fn is then not run.
bool StartSessionThread(void (*fn)(void*), void* arg, size_t stackBytes);

/// Ends the waiting threads, and each busy one when it finishes, until the next
/// start: the listener calls it when it stops.
void EndIdleSessionThreads();

/// Threads now waiting for work (for tests).
size_t IdleSessionThreads();
