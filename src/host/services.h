// The host's device services beyond the seam: replaceable shell runner and frontlight output (so
// tests can record what the program would run or set, and answer it) and threads with a chosen
// stack size.
#pragma once
#include <cstddef>
#include <functional>

// Receives every command line handed to plat_run with its time-out in seconds; its answer is
// plat_run's. An empty function restores the desktop runner, which runs nothing and answers -1.
using PlatRunner = std::function<int(const char* cmd, int secs)>;
void plat_set_runner(PlatRunner runner);

// Receives every level handed to plat_light. An empty function restores doing nothing.
using PlatLight = std::function<void(int level)>;
void plat_set_light(PlatLight light);

// Starts fn(arg) on a detached thread with a stack of `stack_bytes`. 1 started, 0 not.
int plat_thread_stack(void* (*fn)(void*), void* arg, size_t stack_bytes);

constexpr size_t kPlatThreadStack = size_t{4} << 20;  // plat_thread: the audio engine
