// A recording stand-in for the window and its open-file dialog. Like the window it is used from one thread
// only. Every status text and every box is kept in one log, in the order it was shown.
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "update/WindowOperations.h"

namespace lut::test {

class FakeWindow final : public WindowOperations {
  public:
    enum class Kind { Status, Warning, Plain, Error };

    struct Shown {
        Kind kind;
        std::string text;
        bool operator==(const Shown&) const = default;
    };

    // What a test sets up or inspects directly.
    std::string status;                      // lbl6
    std::string localAddress = "127.0.0.1";  // lbl3
    std::vector<LoggerRow> rows;             // lv1
    std::optional<int> selected;             // the selected row of lv1, if any
    std::string filePath;                    // redt2
    std::string version;                     // edt1
    std::vector<Shown> log;                  // status texts and boxes, in order
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

    std::string LocalAddressText() const override { return localAddress; }

    void ClearList() override {
        rows.clear();
        selected.reset();
        ++listClears;
    }
    void AppendRow(const LoggerRow& row) override { rows.push_back(row); }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    LoggerRow Row(int index) const override { return rows.at(static_cast<std::size_t>(index)); }
    void SetRowCaption(int index, const std::string& caption) override {
        rows.at(static_cast<std::size_t>(index)).sn = caption;
    }
    std::optional<int> SelectedRow() const override { return selected; }

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

// The open-file dialog: answers the queued choices one per showing (an empty optional is a cancel; with
// nothing queued the user cancels), and records the name it proposed each time it was shown.
class FakeFileDialog final : public FileDialog {
  public:
    std::deque<std::optional<std::string>> choices;
    std::vector<std::string> proposedWhenShown;

    void SetFileName(const std::filesystem::path& proposed) override { fileName_ = proposed.string(); }

    bool Execute() override {
        proposedWhenShown.push_back(fileName_);
        if (choices.empty()) {
            return false;
        }
        const std::optional<std::string> choice = choices.front();
        choices.pop_front();
        if (!choice) {
            return false;
        }
        fileName_ = *choice;
        return true;
    }

    std::filesystem::path FileName() const override { return fileName_; }

  private:
    std::string fileName_;
};

}  // namespace lut::test
