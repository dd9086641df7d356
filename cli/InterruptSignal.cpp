#include "cli/InterruptSignal.h"

namespace lut::cli {
namespace {

const WakePipe* interruptPipe = nullptr;

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
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
}

InterruptSignal::~InterruptSignal() {
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
    interruptPipe = nullptr;
}

}  // namespace lut::cli
