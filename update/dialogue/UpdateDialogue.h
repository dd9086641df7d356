// One update dialogue with one logger: its step (`ProtocolState`), the image it sends (`SendImage`), the
// Update button's checks and request, the handling of the logger's answers, and the two block-transfer
// workers. The window runs one, which takes answers from any sender; every test creates its own.
// GUI thread only, but for the workers.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "update/dialogue/DialogueEvents.h"
#include "update/dialogue/ProtocolState.h"
#include "update/image/UpdateImage.h"
#include "update/workers/StopSignal.h"
#include "update/workers/TransferSteps.h"
#include "update/workers/Tupthread.h"
#include "update/workers/Tupthread1.h"

namespace lut {

// What the Update button works on: the selected logger, edt1, redt2 and the loaded image.
struct UpdateRequest {
    std::optional<LoggerRow> logger;  // empty: no row selected
    std::string version;
    std::string filePath;
    ImageText image;
};

// The Update button's checks, in the order they are made; Passed when the request went out.
enum class UpdateCheck {
    Passed,
    NoLoggerSelected,       // "Please select a Logger"
    LastUpdateNotComplete,  // "Last Update is not complete"
    VersionNotMatch,        // "Version is not match, can not update"
    NoFileChosen,           // "Please choose a file"
    FileNotRead,            // "Read Update File Fail"
    // Several loggers answered from the selected row's address (the window's Hint names them); the
    // window's own check, before the dialogue's.
    AddressConflict,
};

class UpdateDialogue {
  public:
    // The workers send through the same endpoint to the same port as the request. Controller events go
    // to the observer; worker events to the display.
    UpdateDialogue(Endpoint& UpdateSocket, std::uint16_t updatePort, Pacer& pacer, WorkerDisplay& display,
                   DialogueObserver& observer);
    ~UpdateDialogue();  // Stop, then the workers are joined
    UpdateDialogue(const UpdateDialogue&) = delete;
    UpdateDialogue& operator=(const UpdateDialogue&) = delete;

    // Start-up: creates both workers, which wait for their start message.
    void CreateWorkers();

    // The Update button: the checks, then "LU" + version + block count to the logger.
    UpdateCheck btnUPGClick(const UpdateRequest& request);

    // The last request once more, to the same logger with the same version, count and image, while the
    // state is still "LU" (no answer came); false when it is not.
    bool RequestAgain();

    // One frame of the update channel that has passed its check code, whole (ESC ... ENQ).
    void HandleUpdateFrame(const std::string& frame);

    // Cuts the pauses of this dialogue's workers short, so that their runs end at once; later runs end at
    // their first pause. Other dialogues on the same pacer go on.
    void Stop() { stop_.Request(); }

    // The logger the last request went to: the rest of the dialogue belongs to it.
    const std::string& RequestTarget() const { return requestTarget_; }

    AtomicProtocolState ProtocolState;
    // The image being sent: the loaded image as it was when Update was pressed, shared with the runs.
    ImageText SendImage = ShareImage({});

  private:
    // Sends lastRequest_ and tells the observer.
    void SendRequest();
    void HandleRequestAnswer(std::string_view payload);
    void HandleQueryAnswer(std::string_view payload);
    // Reports an answer that cannot be read, unless the report of another is still under way (a modal
    // box lets further answers in).
    void ReportUnreadable(dialogue::Unreadable what, std::string_view payload);
    Tupthread& WorkerA();
    Tupthread1& WorkerB();

    StopSignal stop_;
    WorkerContext workers_;
    DialogueObserver& observer_;
    std::string requestTarget_;
    std::optional<dialogue::RequestSent> lastRequest_;
    RunTag runs_ = 0;  // the tag of the last run started
    bool reportingUnreadable_ = false;

  public:
    // Worker A and worker B; declared last, so that they are stopped before what they use goes.
    std::unique_ptr<Tupthread> Upthread;
    std::unique_ptr<Tupthread1> Upthread1;
};

}  // namespace lut
