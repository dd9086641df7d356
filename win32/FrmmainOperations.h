// What the discovery and update logic asks of the window, carried out on its Win32 controls; and the
// three kinds of modal box, which tests replace with a recorder.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "update/WindowOperations.h"
#include "win32/FrmmainControls.h"

namespace lut::win32 {

enum class BoxKind {
    Warning,  // caption "Hint", MB_OK | MB_ICONEXCLAMATION (48)
    Plain,    // application title, no icon, centred on the screen
    Error,    // application title, stop icon: the default error display
};

struct Box {
    BoxKind kind;
    std::wstring caption;
    std::wstring text;
};

// Shows a box modally and returns when the user has closed it.
using BoxPresenter = std::function<void(const Box&)>;

// Real modal message boxes with one OK button, owned by the window.
BoxPresenter ModalBoxes(HWND owner);

class FrmmainOperations final : public WindowOperations {
  public:
    FrmmainOperations(const FrmmainControls& controls, BoxPresenter boxes, std::wstring applicationTitle);

    std::string StatusText() const override;
    void SetStatusText(const std::string& text) override;
    // Kept for the window, which owns the status line's tooltip.
    void SetStatusTip(const std::string& tip) override { statusTip_ = tip; }
    const std::string& StatusTip() const { return statusTip_; }
    std::string LocalAddressText() const override;

    void ClearList() override;
    void AppendRow(const LoggerRow& row) override;
    void SetRowCaption(int index, const std::string& caption) override;
    void SetRowVersion(int index, const std::string& version) override;
    // Kept for the list's info tip (LVN_GETINFOTIP), which asks when the pointer rests on a row.
    void SetRowTip(int index, const std::string& tip) override;
    std::wstring RowTip(int index) const;
    std::optional<int> SelectedRow() const override;

    void SetProgressMax(int maximum) override;
    void SetProgressPosition(int position) override;
    void AdvanceProgress() override;
    void EndProgress() override;
    // What the progress bar shows over its bar; empty until the maximum is set, and after a run.
    const std::wstring& ProgressText() const { return progressText_; }

    std::string FilePathText() const override;
    void SetFilePathText(const std::string& path) override;
    std::string VersionText() const override;
    void SetVersionText(const std::string& version) override;

    void ShowWarning(const std::string& message) override;
    void ShowPlainMessage(const std::string& message) override;
    void ShowError(const std::string& message) override;

  private:
    void CheckRow(int index) const;
    std::string Text(const form::Control& control) const;
    void SetText(const form::Control& control, const std::string& text);
    // A cell of lv1, from the logger's bytes.
    void SetCell(int index, int column, const std::string& bytes);
    void ShowProgressText();

    const FrmmainControls& controls_;
    BoxPresenter boxes_;
    std::wstring applicationTitle_;
    int rowCount_ = 0;
    std::wstring progressText_;
    std::string statusTip_;
    std::vector<std::string> rowTips_;  // by row; empty for none
};

// A window's text, whole.
std::wstring WindowText(HWND window);

}  // namespace lut::win32
