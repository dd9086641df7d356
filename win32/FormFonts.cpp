#include "win32/FormFonts.h"

#include <array>
#include <vector>

#include "win32/Dpi.h"
#include "win32/WideText.h"

namespace lut::win32 {

namespace {

// "宋体" under its own name and its English one, its fixed-pitch sibling, then faces that draw the same
// characters: the Windows one, and the one Wine finds on a Linux host.
constexpr std::array<const wchar_t*, 5> FaceCandidates{L"宋体", L"SimSun", L"NSimSun", L"Microsoft YaHei",
                                                       L"AR PL UMing CN"};

LOGFONTW LogFont(const std::wstring& face, int pixelHeight, form::Charset charset) {
    LOGFONTW font{};
    font.lfHeight = -pixelHeight;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = charset == form::Charset::Gb2312 ? GB2312_CHARSET : ANSI_CHARSET;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    face.copy(font.lfFaceName, LF_FACESIZE - 1);
    return font;
}

int CALLBACK NoteFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool FaceInstalled(HDC dc, const wchar_t* face) {
    LOGFONTW query{};
    query.lfCharSet = DEFAULT_CHARSET;
    std::wstring(face).copy(query.lfFaceName, LF_FACESIZE - 1);
    bool found = false;
    EnumFontFamiliesExW(dc, &query, NoteFamily, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

// Every printable character of the form's texts (line breaks have no glyph in any font).
std::wstring FormCharacters() {
    std::wstring all;
    for (const form::Control* control : form::Controls) {
        for (const wchar_t c : Widen(control->text)) {
            if (c >= L' ') {
                all += c;
            }
        }
    }
    return all;
}

bool DrawsEveryCharacter(HDC dc, const std::wstring& face) {
    const LOGFONTW logFont = LogFont(face, form::WindowFont.pixelHeight, form::WindowFont.charset);
    HFONT font = CreateFontIndirectW(&logFont);
    HGDIOBJ previous = SelectObject(dc, font);
    const std::wstring text = FormCharacters();
    std::vector<WORD> glyphs(text.size());
    const DWORD mapped = GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                                          GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(dc, previous);
    DeleteObject(font);
    if (mapped == GDI_ERROR) {
        return false;
    }
    for (const WORD glyph : glyphs) {
        if (glyph == 0xFFFF) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::wstring ChooseFormFace() {
    HDC dc = GetDC(nullptr);
    std::wstring chosen;
    for (const wchar_t* face : FaceCandidates) {
        if (FaceInstalled(dc, face) && DrawsEveryCharacter(dc, face)) {
            chosen = face;
            break;
        }
    }
    ReleaseDC(nullptr, dc);
    if (chosen.empty()) {
        LOGFONTW system{};
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof system, &system);
        chosen = system.lfFaceName;
    }
    return chosen;
}

FormFonts::~FormFonts() {
    for (auto& [key, font] : fonts_) {
        DeleteObject(font);
    }
}

HFONT FormFonts::For(const form::Font& font) {
    HFONT& made = fonts_[{font.pixelHeight, font.charset}];
    if (made == nullptr) {
        const LOGFONTW logFont = LogFont(face_, Scale(font.pixelHeight, dpi_), font.charset);
        made = CreateFontIndirectW(&logFont);
    }
    return made;
}

}  // namespace lut::win32
