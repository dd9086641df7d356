// The controls of the main window, created from the form table under their form names, placed at the
// window's dpi, and how they follow a resize. A test finds each by its ID (ControlId) under its parent.
#pragma once

#include <array>
#include <string_view>

#include "form/FrmmainForm.h"
#include "win32/FormFonts.h"
#include "win32/WinApi.h"

namespace lut::win32 {

// The ID of a control: 1000 + its place in the form table.
int ControlId(const form::Control& control);

class FrmmainControls {
  public:
    // Creates every control of the form as a child of the window (or of its panel or group box).
    FrmmainControls(HWND form, UINT dpi, FormFonts& fonts);

    HWND operator()(const form::Control& control) const;

    // Puts every control at its design place at the dpi, with its font; labels that size themselves to
    // their text take its size in that font. The progress bar, once in the status bar, stays there.
    void Place(UINT dpi, FormFonts& fonts) const;

    // After a resize of the client area: the list takes the height above the status bar, the status bar
    // the whole width at the bottom; everything on the right stays where it is.
    void Arrange(SIZE client, UINT dpi) const;

    // Sets a label's text; a label that sizes itself to its text takes the new size, keeping its top-left.
    void SetLabelText(const form::Control& label, std::wstring_view text) const;

  private:
    void FitToText(HWND label) const;

    HWND form_;
    std::array<HWND, form::Controls.size()> handles_{};
};

}  // namespace lut::win32
