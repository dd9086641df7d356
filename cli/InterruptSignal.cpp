#include "cli/InterruptSignal.h"

#ifdef _WIN32
#include <windows.h>

#include <mutex>
#else
#include <csignal>
#endif

namespace lut::cli {

#ifdef _WIN32

namespace {

// The console runs its control handler on a thread of its own: the mutex keeps the pipe alive while the
// handler writes to it.
std::mutex interruptMutex;
const WakePipe* interruptPipe = nullptr;

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE;  // closing the console or logging off: the system's default, which ends the process
    }
    const std::lock_guard lock(interruptMutex);
    if (interruptPipe == nullptr) {
        return FALSE;
    }
    interruptPipe->Notify();
    return TRUE;
}

}  // namespace

InterruptSignal::InterruptSignal() {
    {
        const std::lock_guard lock(interruptMutex);
        interruptPipe = &pipe_;
    }
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

InterruptSignal::~InterruptSignal() {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    const std::lock_guard lock(interruptMutex);
    interruptPipe = nullptr;
}

#else

namespace {

const WakePipe* interruptPipe = nullptr;
struct sigaction previousInt {};
struct sigaction previousTerm {};

extern "C" void OnInterrupt(int) {
    if (interruptPipe != nullptr) {
        interruptPipe->Notify();
    }
}

}  // namespace

InterruptSignal::InterruptSignal() {
    interruptPipe = &pipe_;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
}

InterruptSignal::~InterruptSignal() {
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
    interruptPipe = nullptr;
}

#endif

}  // namespace lut::cli
