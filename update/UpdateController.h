// The update controller: the Update button, which checks that an update may start and sends the request,
// and the handling of the logger's answers, which starts the workers or ends the dialogue. GUI thread only.
#pragma once

#include <string>
#include <string_view>

#include "update/TransferWorker.h"
#include "update/UpdateState.h"
#include "update/WindowOperations.h"

namespace lut {

class UpdateController {
  public:
    // The context is what the workers this controller creates send with; the controller sends its
    // request through the same endpoint to the same port.
    UpdateController(WindowOperations& window, UpdateState& state, const WorkerContext& workers);

    // Start-up: creates both workers, which wait for their start message.
    void CreateWorkers();

    void btnUPGClick();

    // One frame of the update channel that has passed its check code, whole (ESC ... ENQ).
    void HandleUpdateFrame(const std::string& frame);

    // The logger the last request went to: the rest of the dialogue belongs to it.
    const std::string& RequestTarget() const { return requestTarget_; }

  private:
    void HandleRequestAnswer(std::string_view payload);
    void HandleQueryAnswer(std::string_view payload);
    // Shows an answer that cannot be read on the error display, unless the box of another is still up.
    void ReportUnreadable(std::string_view what, std::string_view payload);
    Tupthread& WorkerA();
    Tupthread1& WorkerB();

    WindowOperations& window_;
    UpdateState& state_;
    WorkerContext workers_;
    std::string requestTarget_;
    bool reportingUnreadable_ = false;
};

}  // namespace lut
