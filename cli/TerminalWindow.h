// The window operations for a terminal: the list, the file fields and the status line live in memory; a
// message box never blocks, it becomes a recorded notice that the command reads and prints.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "update/WindowOperations.h"

namespace lut::cli {

struct Notice {
    enum class Kind { Warning, Plain, Error };
    Kind kind;
    std::string text;
};

class TerminalWindow final : public WindowOperations {
  public:
    using StatusListener = std::function<void(const std::string& text)>;

    explicit TerminalWindow(std::string localAddress);

    // Told every status text, in the order the status line gets them.
    void OnStatus(StatusListener listener) { onStatus_ = std::move(listener); }

    // The row whose address is ip, if any.
    std::optional<int> FindRow(const std::string& ip) const;
    void SelectRow(std::optional<int> index) { selected_ = index; }

    // Every box shown so far, in order.
    const std::vector<Notice>& Notices() const { return notices_; }
    const std::vector<LoggerRow>& Rows() const { return rows_; }

    std::string StatusText() const override { return status_; }
    void SetStatusText(const std::string& text) override;
    std::string LocalAddressText() const override { return localAddress_; }
    void ClearList() override;
    void AppendRow(const LoggerRow& row) override { rows_.push_back(row); }
    int RowCount() const override { return static_cast<int>(rows_.size()); }
    LoggerRow Row(int index) const override;
    void SetRowCaption(int index, const std::string& caption) override;
    std::optional<int> SelectedRow() const override { return selected_; }
    std::string FilePathText() const override { return filePath_; }
    void SetFilePathText(const std::string& path) override { filePath_ = path; }
    std::string VersionText() const override { return version_; }
    void SetVersionText(const std::string& version) override { version_ = version; }
    void ShowWarning(const std::string& message) override;
    void ShowPlainMessage(const std::string& message) override;
    void ShowError(const std::string& message) override;

  private:
    std::string localAddress_;
    std::string status_;
    std::vector<LoggerRow> rows_;
    std::optional<int> selected_;
    std::string filePath_;
    std::string version_;
    std::vector<Notice> notices_;
    StatusListener onStatus_;
};

// The open-file dialog of Browse, answered by the --file of the command line.
class GivenFileDialog final : public FileDialog {
  public:
    explicit GivenFileDialog(std::filesystem::path path) : path_(std::move(path)) {}
    void SetFileName(const std::filesystem::path&) override {}
    bool Execute() override { return true; }
    std::filesystem::path FileName() const override { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace lut::cli
