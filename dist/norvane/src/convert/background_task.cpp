#include "convert/background_task.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#endif

namespace {

#ifdef _WIN32
DWORD WINAPI thread_main(LPVOID p) {
    BackgroundTask* task = static_cast<BackgroundTask*>(p);
    task->run(task->context);
    return 0;
}
#else
void* thread_main(void* p) {
    BackgroundTask* task = static_cast<BackgroundTask*>(p);
    task->run(task->context);
    return nullptr;
}
#endif

} // namespace

bool start_thread(BackgroundTask* task, void (*run)(void* context), void* context) {
    task->run = run;
    task->context = context;
#ifdef _WIN32
    task->handle = CreateThread(nullptr, 0, thread_main, task, 0, nullptr);
    task->started = task->handle != nullptr;
#else
    task->started = pthread_create(&task->thread, nullptr, thread_main, task) == 0;
#endif
    return task->started;
}

void start_task(BackgroundTask* task, void (*run)(void* context), void* context) {
    if (!start_thread(task, run, context))
        run(context);
}

void yield_thread() {
#ifdef _WIN32
    SwitchToThread();
#else
    sched_yield();
#endif
}

void wait_task(BackgroundTask* task) {
    if (!task->started)
        return;
#ifdef _WIN32
    WaitForSingleObject(task->handle, INFINITE);
    CloseHandle(task->handle);
#else
    pthread_join(task->thread, nullptr);
#endif
    task->started = false;
}

BackgroundTask::~BackgroundTask() {
    wait_task(this);
}

void run_both(void (*run)(void* context), void* first, void* second, bool parallel) {
    if (!parallel) {
        run(first);
        run(second);
        return;
    }
    BackgroundTask other;
    start_task(&other, run, second);
    run(first);
    wait_task(&other);
}
