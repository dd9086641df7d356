// The spine both front ends drive: the link state, the update state, the logger list and the update
// controller, wired once. The window calls it from its handlers; the command line from its loop.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "link/LinkState.h"
#include "update/Pacer.h"
#include "update/WindowOperations.h"
#include "update/WorkerDisplay.h"

namespace lut {

struct ToolOptions {
    std::string bindAddress = "0.0.0.0";          // the address both endpoints bind
    std::uint16_t updatePort = UpdatePort;        // local and remote port of the update dialogue
    std::uint16_t discoveryPort = DiscoveryPort;  // local and remote port of the sweep
};

class ToolCore {
  public:
    ToolCore(WindowOperations& window, WorkerDisplay& display, Pacer& pacer, ToolOptions options = {});
    ~ToolCore();  // Shutdown
    ToolCore(const ToolCore&) = delete;
    ToolCore& operator=(const ToolCore&) = delete;

    // The first activation: opens the update endpoint, then the discovery endpoint ("Create Socket
    // Fail!!" for each that fails, else "Ready"), then creates both workers. Runs once; later calls do
    // nothing.
    void StartUp();

    void btnsearchClick();
    void btn1Click(FileDialog& dialog);
    void btnUPGClick();

    // One readability notification of either endpoint.
    void HandleSocketMessage(int eventCode);

    // Closing: cuts the workers off from the display, wakes them out of their pauses, closes both
    // endpoints and joins the workers. Idempotent.
    void Shutdown();

    // Why an endpoint failed to open at start-up; empty when it opened (or start-up has not run).
    std::error_code UpdateOpenError() const;
    std::error_code DiscoveryOpenError() const;

    LinkState& Link();
    class UpdateState& State();

  private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace lut
