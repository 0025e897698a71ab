// One function run on a second thread while the caller goes on, for work that the second core
// can take (the converter digests the body while it writes and checks the temporary file).
// POSIX threads, or Windows threads (MinGW's default thread model has no std::thread).
#pragma once

#ifndef _WIN32
#include <pthread.h>
#endif

struct BackgroundTask {
    void (*run)(void* context) = nullptr;
    void* context = nullptr;
    bool started = false;
#ifdef _WIN32
    void* handle = nullptr;
#else
    pthread_t thread{};
#endif
    BackgroundTask() = default;
    BackgroundTask(const BackgroundTask&) = delete;
    BackgroundTask& operator=(const BackgroundTask&) = delete;
    ~BackgroundTask(); // waits for the function, so it never outlives what it works on
};

// Starts run(context) on another thread; when no thread can be had, runs it here before
// returning. Either way, after wait_task the function has finished.
void start_task(BackgroundTask* task, void (*run)(void* context), void* context);

// Starts run(context) on another thread; false (and nothing run) when no thread can be had.
bool start_thread(BackgroundTask* task, void (*run)(void* context), void* context);

// Lets another thread run: for a thread that waits on another's progress.
void yield_thread();

// Waits for the function to finish (at once when it ran in the caller's thread).
void wait_task(BackgroundTask* task);

// Runs run(first) and run(second), at once on two threads when `parallel` (and a thread can be
// had), else one after the other here; returns when both are done.
void run_both(void (*run)(void* context), void* first, void* second, bool parallel = true);
