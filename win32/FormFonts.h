// The form's fonts at the window's dpi: "宋体" where the system has it with every glyph the form shows,
// else a close face that has them, else the system's default GUI font (which the system links to fonts
// with the missing glyphs), so that no text shows boxes.
#pragma once

#include <map>
#include <string>
#include <utility>

#include "form/FrmmainForm.h"
#include "win32/WinApi.h"

namespace lut::win32 {

// The face the form's texts are set in on this system.
std::wstring ChooseFormFace();

class FormFonts {
  public:
    // Fonts at one dpi; a change of dpi makes a new set, applied before this one goes.
    FormFonts(std::wstring face, UINT dpi) : face_(std::move(face)), dpi_(dpi) {}
    ~FormFonts();
    FormFonts(const FormFonts&) = delete;
    FormFonts& operator=(const FormFonts&) = delete;

    // The font for a control's (or the window's) font.
    HFONT For(const form::Font& font);
    const std::wstring& Face() const { return face_; }

  private:
    std::wstring face_;
    UINT dpi_;
    std::map<std::pair<int, form::Charset>, HFONT> fonts_;
};

}  // namespace lut::win32
