// What the discovery and update logic asks of the window, carried out on its controls; and the three
// kinds of modal box, which tests replace with a recorder.
#pragma once

#include <functional>

#include <QString>

#include "app/FrmmainLayout.h"
#include "update/WindowOperations.h"

class QWidget;

namespace lut::app {

enum class BoxKind {
    Warning,  // caption "Hint", exclamation icon
    Plain,    // application title, no icon
    Error,    // application title, stop icon: the default error display
};

struct Box {
    BoxKind kind;
    QString caption;
    QString text;
};

// Shows a box modally and returns when the user has closed it.
using BoxPresenter = std::function<void(const Box&)>;

// Real modal message boxes with one OK button, over the given window; the plain message in the middle of
// the screen.
BoxPresenter ModalBoxes(QWidget* owner);

class FrmmainOperations final : public WindowOperations {
  public:
    FrmmainOperations(const FrmmainControls& controls, BoxPresenter boxes, QString applicationTitle);

    std::string StatusText() const override;
    void SetStatusText(const std::string& text) override;
    void SetStatusTip(const std::string& tip) override;
    std::string LocalAddressText() const override;

    void ClearList() override;
    void AppendRow(const LoggerRow& row) override;
    void SetRowCaption(int index, const std::string& caption) override;
    void SetRowVersion(int index, const std::string& version) override;
    void SetRowTip(int index, const std::string& tip) override;
    std::optional<int> SelectedRow() const override;
    // What lv1 shows, as the bytes it was given.
    int RowCount() const;
    LoggerRow Row(int index) const;

    void SetProgressMax(int maximum) override;
    void SetProgressPosition(int position) override;
    void AdvanceProgress() override;
    void EndProgress() override;

    std::string FilePathText() const override;
    void SetFilePathText(const std::string& path) override;
    std::string VersionText() const override;
    void SetVersionText(const std::string& version) override;

    void ShowWarning(const std::string& message) override;
    void ShowPlainMessage(const std::string& message) override;
    void ShowError(const std::string& message) override;

  private:
    void ShowProgressText();

    const FrmmainControls& controls_;
    BoxPresenter boxes_;
    QString applicationTitle_;
    int progressBlocks_ = 100;     // the blocks of the run the bar counts; the bar's own range is never empty
    std::string versionFromName_;  // the version Browse took from the file name, as its bytes
};

}  // namespace lut::app
