// The spine both front ends drive: the link state, the logger list, the loaded image and the window's
// update dialogue, wired once. The window calls it from its handlers; the command line from its loop.
// GUI thread only, but for the waker.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "link/Capture.h"
#include "link/LinkState.h"
#include "update/WindowOperations.h"
#include "update/dialogue/DialogueEvents.h"
#include "update/dialogue/DialogueRouter.h"
#include "update/dialogue/UpdateDialogue.h"
#include "update/search/AddressLedger.h"
#include "update/search/SearchRounds.h"
#include "update/search/SweepResult.h"
#include "update/workers/Pacer.h"
#include "update/workers/WorkerReports.h"

namespace lut {

struct ToolOptions {
    std::string bindAddress = "0.0.0.0";          // the address both endpoints bind
    std::uint16_t updatePort = UpdatePort;        // local and remote port of the update dialogue
    std::uint16_t discoveryPort = DiscoveryPort;  // local and remote port of the sweep
    std::shared_ptr<Capture> capture{};           // records both endpoints' datagrams; null for none
    int searchRounds = SearchRoundsDefault;       // the rounds of a Search's probes, RoundInterval apart
    // The version check after "Update complete": how long the logger is asked, and how often.
    std::chrono::milliseconds versionWait{60'000};
    std::chrono::milliseconds versionInterval{3000};
};

class ToolCore {
  public:
    // The waker is told, from any thread, that worker reports wait for HandleWorkerReports.
    ToolCore(WindowOperations& window, Waker& waker, Pacer& pacer, ToolOptions options = {});
    ~ToolCore();  // Shutdown, but the workers' waiting reports are dropped: their observers may be gone
    ToolCore(const ToolCore&) = delete;
    ToolCore& operator=(const ToolCore&) = delete;

    // Runs a handler of the front end's own; an error that escapes it goes to the error display, and the
    // program carries on. Every verb below runs inside it.
    void Guarded(const std::function<void()>& handler);

    // Also told every event of the dialogue and the version check's verdict, before the window shows
    // them; null for none.
    void SetObserver(DialogueObserver* observer);

    // Several dialogues at once, on the core's update endpoint, pacer and waker: from now on the update
    // endpoint's datagrams go to the router by their sender instead of to the window's dialogue, and the
    // router's worker reports are handled with the window's. Until StopRouting or Shutdown.
    DialogueRouter& StartRouting(RoutedObserver& observer);
    // Ends every routed dialogue; the window's dialogue takes the update answers again.
    void StopRouting();

    // The first activation: opens the update endpoint, then the discovery endpoint ("Create Socket
    // Fail!!" for each that fails, else "Ready"), then creates both workers. Runs once; later calls do
    // nothing.
    void StartUp();

    // Search: the sweep of the local address's /24 subnet, sent again in later rounds (Tick); what became
    // of the first round's probes (LastSweep keeps it). A sweep that could send no probe says so in a box.
    // Ends the rounds and the version check under way.
    SweepResult btnsearchClick();
    // Browse, through the given open-file dialog.
    BrowseOutcome btn1Click(FileDialog& dialog);
    // Update: ends the search's rounds and the version check; the checks (a failed one shows its warning
    // and is returned; an address that several loggers answer from is refused with a box, sending
    // nothing), then the request, asked again while no answer comes (Tick).
    UpdateCheck btnUPGClick();
    // A search of a list of addresses: the list emptied, "SS", and the probe to each address, in rounds.
    void SearchAddresses(const std::vector<std::string>& addresses);
    // The listed addresses whose every probe so far failed, with the last reason.
    const std::map<std::string, std::error_code>& UnsentProbes() const;
    // A search of one address in one round: the list emptied, "SS", and the probe to that address only.
    std::error_code Probe(const std::string& address);

    // What is due on the pacer's clock: the search's next round, the request asked again, the version
    // check's probe or its verdict. The front end calls it once UntilTick has passed.
    void Tick();
    // How long until Tick has something to do (zero: now); empty while nothing waits.
    std::optional<std::chrono::milliseconds> UntilTick() const;
    // Told when something falls due that no verb of the front end's began: the version check begins with
    // "Update complete", whose box holds the handler that took the answer. Null for none.
    void SetTickListener(std::function<void()> listener);
    // Rounds of the search are still to go out.
    bool Searching() const;

    // One readability notification of either endpoint.
    void HandleSocketMessage(int eventCode);
    // Shows the workers' reports that wait, in order, after the waker was told (and hands the router's to
    // it); true when there was any.
    bool HandleWorkerReports();

    // Closing: ends the rounds, the requests asked again and the version check; wakes the workers out of
    // their pauses and joins them, cuts them off from the display, closes both endpoints, and hands the
    // reports they had made to the observers (the record, the router's), never to the window, so that a
    // record line written next counts every block sent. Idempotent.
    void Shutdown();

    // Why an endpoint failed to open at start-up; empty when it opened (or start-up has not run).
    std::error_code UpdateOpenError() const;
    std::error_code DiscoveryOpenError() const;

    // The last sweep's probes; empty before the first.
    const SweepResult& LastSweep() const;
    // Transient receive errors skipped so far, and the first receive error that no endpoint got past
    // (LinkState).
    std::size_t ReceiveErrors() const;
    std::error_code ReceiveFailure() const;

    // What the front ends and tests look at.
    const LinkState& Link() const;
    const UpdateDialogue& Dialogue() const;
    const std::vector<LoggerRow>& Loggers() const;
    // Every serial number heard from each address during the search.
    const AddressLedger& Answers() const;
    const ImageText& LoadedImage() const;
    // The file the loaded image was read from; empty while no image is loaded.
    const std::filesystem::path& LoadedFile() const;

  private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace lut
