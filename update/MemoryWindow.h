// The window operations kept in memory, for the command line (which has no window) and for the tests.
// Like the window it is used from one thread only. Every status text and every box is kept in one log,
// in the order it was shown; a box never blocks.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "update/WindowOperations.h"

namespace lut {

class MemoryWindow final : public WindowOperations {
  public:
    enum class Kind { Status, Warning, Plain, Error };

    struct Shown {
        Kind kind;
        std::string text;
        bool operator==(const Shown&) const = default;
    };

    MemoryWindow() = default;
    explicit MemoryWindow(std::string localAddressText) : localAddress(std::move(localAddressText)) {}

    // What a front end or a test sets up or inspects directly.
    std::string status;                      // lbl6
    std::string statusTip;                   // its tooltip
    std::string localAddress = "127.0.0.1";  // lbl3
    std::vector<LoggerRow> rows;             // lv1
    std::map<int, std::string> rowTips;      // the tooltips of lv1's rows that have one
    std::optional<int> selected;             // the selected row of lv1, if any
    std::string filePath;                    // redt2
    std::string version;                     // edt1
    int progressMax = 100;                   // ProgressBar1
    int progressPosition = 0;
    std::vector<int> positions;  // each position the bar took, in order
    bool progressEnded = false;  // the last run's progress has ended
    std::vector<Shown> log;      // status texts and boxes, in order
    int listClears = 0;

    // Runs while a box is up, as the nested event loop of a modal box would (a frame arriving meanwhile).
    std::function<void(const Shown&)> whileBoxShown;

    // The texts of one kind, in order.
    std::vector<std::string> Texts(Kind kind) const {
        std::vector<std::string> texts;
        for (const Shown& entry : log) {
            if (entry.kind == kind) {
                texts.push_back(entry.text);
            }
        }
        return texts;
    }

    std::string StatusText() const override { return status; }
    void SetStatusText(const std::string& text) override {
        status = text;
        log.push_back({Kind::Status, text});
    }
    void SetStatusTip(const std::string& tip) override { statusTip = tip; }

    std::string LocalAddressText() const override { return localAddress; }

    void ClearList() override {
        rows.clear();
        rowTips.clear();
        selected.reset();
        ++listClears;
    }
    void AppendRow(const LoggerRow& row) override { rows.push_back(row); }
    void SetRowCaption(int index, const std::string& caption) override {
        rows.at(static_cast<std::size_t>(index)).sn = caption;
    }
    void SetRowVersion(int index, const std::string& version) override {
        rows.at(static_cast<std::size_t>(index)).version = version;
    }
    void SetRowTip(int index, const std::string& tip) override { rowTips[index] = tip; }
    std::optional<int> SelectedRow() const override { return selected; }

    void SetProgressMax(int maximum) override { progressMax = maximum; }
    void SetProgressPosition(int position) override {
        progressPosition = position;
        positions.push_back(position);
    }
    void AdvanceProgress() override { SetProgressPosition(progressPosition + 1); }
    void EndProgress() override {
        SetProgressPosition(0);
        progressEnded = true;
    }

    std::string FilePathText() const override { return filePath; }
    void SetFilePathText(const std::string& path) override { filePath = path; }
    std::string VersionText() const override { return version; }
    void SetVersionText(const std::string& text) override { version = text; }

    void ShowWarning(const std::string& message) override { ShowBox(Kind::Warning, message); }
    void ShowPlainMessage(const std::string& message) override { ShowBox(Kind::Plain, message); }
    void ShowError(const std::string& message) override { ShowBox(Kind::Error, message); }

  private:
    void ShowBox(Kind kind, const std::string& message) {
        const Shown shown{kind, message};
        log.push_back(shown);
        if (whileBoxShown) {
            whileBoxShown(shown);
        }
    }
};

}  // namespace lut
