#include "win32/OpenFileDialog.h"

#include <commdlg.h>

#include <algorithm>

#include "update/Messages.h"
#include "win32/WideText.h"

namespace lut::win32 {

void OpenFileDialog::SetFileName(const std::filesystem::path& proposed) {
    fileName_ = proposed.wstring();
}

bool OpenFileDialog::Execute() {
    // "name|pattern" becomes the dialog's "name\0pattern\0\0".
    std::wstring filter = Widen(text::FileFilter);
    std::replace(filter.begin(), filter.end(), L'|', L'\0');
    filter.push_back(L'\0');
    std::wstring path(32768, L'\0');
    std::copy_n(fileName_.begin(), std::min(fileName_.size(), path.size() - 1), path.begin());
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner_;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(path.size());
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;
    if (!GetOpenFileNameW(&dialog)) {
        return false;
    }
    path.resize(path.find(L'\0'));
    fileName_ = path;
    return true;
}

std::filesystem::path OpenFileDialog::FileName() const {
    return fileName_;
}

}  // namespace lut::win32
