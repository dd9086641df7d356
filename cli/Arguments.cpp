#include "cli/Arguments.h"

#ifdef _WIN32
#include <windows.h>
// shellapi.h needs the types of windows.h
#include <shellapi.h>
#endif

namespace lut::cli {

#ifdef _WIN32

namespace {

std::string Utf8(const wchar_t* wide) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), bytes, nullptr, nullptr);
    text.pop_back();  // the terminating zero
    return text;
}

}  // namespace

Arguments::Arguments(int argc, char** argv) {
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count); wide != nullptr) {
        for (int i = 0; i < count; ++i) {
            texts_.push_back(Utf8(wide[i]));
        }
        LocalFree(wide);
    } else {
        texts_.assign(argv, argv + argc);
    }
    for (const std::string& text : texts_) {
        pointers_.push_back(text.c_str());
    }
}

#else

Arguments::Arguments(int argc, char** argv) : texts_(argv, argv + argc) {
    for (const std::string& text : texts_) {
        pointers_.push_back(text.c_str());
    }
}

#endif

}  // namespace lut::cli
