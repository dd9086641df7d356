// What the discovery and update logic asks of the window. Called on the GUI thread only. The window
// implements it with its controls, the command line for a terminal, the tests with a recording fake.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace lut {

// One logger of the list: caption the serial number, then the address (the row's key) and the version.
struct LoggerRow {
    std::string sn;
    std::string ip;
    std::string version;

    bool operator==(const LoggerRow&) const = default;
};

class WindowOperations {
  public:
    virtual ~WindowOperations() = default;

    // lbl6, the status line.
    virtual std::string StatusText() const = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // lbl6's tooltip: what the technician may want to know beyond the status text.
    virtual void SetStatusTip(const std::string& tip) = 0;

    // lbl3, the local address whose /24 subnet Search sweeps.
    virtual std::string LocalAddressText() const = 0;

    // lv1, the logger list: it shows the rows the logger list holds, in the same order. A row's texts are
    // the logger's 8-bit bytes; a window shows them in its system's 8-bit code page.
    virtual void ClearList() = 0;
    virtual void AppendRow(const LoggerRow& row) = 0;
    virtual void SetRowCaption(int index, const std::string& caption) = 0;
    virtual void SetRowVersion(int index, const std::string& version) = 0;
    // The row's tooltip (an address conflict names every logger heard there).
    virtual void SetRowTip(int index, const std::string& tip) = 0;
    virtual std::optional<int> SelectedRow() const = 0;

    // ProgressBar1. A maximum of 0 (an empty resend list) is a run with nothing to send, never a busy bar.
    virtual void SetProgressMax(int maximum) = 0;
    virtual void SetProgressPosition(int position) = 0;
    virtual void AdvanceProgress() = 0;
    // The run is over: the bar goes back to 0 and no longer counts blocks or time left.
    virtual void EndProgress() = 0;

    // redt2, the update file's path, and edt1, the version text. The version text is read as the bytes the
    // request carries; a window that shows wide text turns it into its system's 8-bit code page. Browse sets
    // it from the file name, whose own bytes those are; a character that has no byte is refused (the read
    // throws), never sent as "?".
    virtual std::string FilePathText() const = 0;
    virtual void SetFilePathText(const std::string& path) = 0;
    virtual std::string VersionText() const = 0;
    virtual void SetVersionText(const std::string& version) = 0;

    // Modal boxes: the warning box captioned "Hint"; the plain message; the default error display.
    virtual void ShowWarning(const std::string& message) = 0;
    virtual void ShowPlainMessage(const std::string& message) = 0;
    virtual void ShowError(const std::string& message) = 0;
};

// The open-file dialog of Browse. Paths stay paths from the dialog to the read, so that any file name the
// system allows opens.
class FileDialog {
  public:
    virtual ~FileDialog() = default;
    virtual void SetFileName(const std::filesystem::path& proposed) = 0;
    // Shows the dialog modally; true when the user accepted a choice.
    virtual bool Execute() = 0;
    // The chosen full path.
    virtual std::filesystem::path FileName() const = 0;
};

}  // namespace lut
