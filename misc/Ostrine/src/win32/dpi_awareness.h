// Physical pixels whatever the host's DPI awareness: the calling thread runs per-monitor aware for
// the length of a capture, and the DPI of each monitor. Both are looked up at run time, so the DLL
// still loads on systems that lack them.
#pragma once

#include <windows.h>

#include <cstdint>

// Makes the calling thread per-monitor DPI aware (v2 where the system has it, else v1) while it
// lives, and gives the thread back its previous awareness when it goes, however the capture ends.
// Does nothing where the system has no per-thread awareness.
class ThreadDpiScope {
  public:
    ThreadDpiScope();
    ~ThreadDpiScope();
    ThreadDpiScope(const ThreadDpiScope&) = delete;
    ThreadDpiScope& operator=(const ThreadDpiScope&) = delete;

  private:
    HANDLE previous_ = NULL; // the thread's context before; NULL when nothing was changed
};

// The monitor's effective DPI (GetDpiForMonitor where the system has it), else `fallback`.
int32_t monitor_dpi(HMONITOR monitor, int32_t fallback);
