#include "record/RecordFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#ifdef _WIN32
#include <windows.h>
// After <windows.h>, as they need.
#include <knownfolders.h>
#include <shlobj.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "update/image/UpdateImage.h"

namespace lut::record {
namespace {

#ifdef _WIN32
// Read wide, so that a folder named outside the ANSI code page keeps its name. The names are ASCII.
std::optional<std::filesystem::path> Variable(const char* name) {
    const std::wstring wide(name, name + std::strlen(name));
    const wchar_t* value = _wgetenv(wide.c_str());
    if (value == nullptr || *value == L'\0') {
        return std::nullopt;
    }
    return std::filesystem::path(value);
}

// The user's local application data (%LOCALAPPDATA%), from the system, as a wide path: a user name in any
// script keeps its record.
std::optional<std::filesystem::path> LocalAppData() {
    PWSTR folder = nullptr;
    std::optional<std::filesystem::path> found;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder))) {
        found = std::filesystem::path(folder);
    }
    CoTaskMemFree(folder);
    return found;
}
#else
std::optional<std::filesystem::path> Variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::filesystem::path(value);
}
#endif

#ifdef _WIN32
std::error_code WriteWhole(const std::filesystem::path& file, const std::string& line) {
    // FILE_APPEND_DATA alone: every write goes to the end of the file as one piece.
    const HANDLE handle = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return {static_cast<int>(GetLastError()), std::system_category()};
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    const std::error_code failure =
        ok && written == line.size()
            ? std::error_code()
            : std::error_code(static_cast<int>(GetLastError()), std::system_category());
    CloseHandle(handle);
    return failure;
}
#else
std::error_code WriteWhole(const std::filesystem::path& file, const std::string& line) {
    const int fd = open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return {errno, std::generic_category()};
    }
    const ssize_t written = write(fd, line.data(), line.size());
    const std::error_code failure = written < 0 ? std::error_code(errno, std::generic_category())
                                    : static_cast<std::size_t>(written) != line.size()
                                        ? std::make_error_code(std::errc::no_space_on_device)
                                        : std::error_code();
    close(fd);
    return failure;
}
#endif

}  // namespace

std::optional<std::filesystem::path> RecordPath() {
    if (const auto chosen = Variable(RecordVariable)) {
        if (*chosen == "off") {
            return std::nullopt;
        }
        return chosen;
    }
#ifdef _WIN32
    if (const auto local = LocalAppData()) {
        return *local / "LoggerUpdateTool" / "updates.jsonl";
    }
#else
    if (const auto state = Variable("XDG_STATE_HOME")) {
        return *state / "logger-update-tool" / "updates.jsonl";
    }
    if (const auto home = Variable("HOME")) {
        return *home / ".local" / "state" / "logger-update-tool" / "updates.jsonl";
    }
#endif
    return std::nullopt;
}

std::error_code Append(const std::filesystem::path& file, const Entry& entry) {
    std::error_code failure;
    if (file.has_parent_path()) {
        std::filesystem::create_directories(file.parent_path(), failure);
        if (failure) {
            return failure;
        }
    }
    return WriteWhole(file, ToLine(entry) + "\n");
}

std::string UnwrittenText(const std::filesystem::path& file, std::error_code why) {
    return "The update record " + PathText(file) + " could not be written: " + why.message();
}

Contents Read(const std::filesystem::path& file) {
    Contents contents;
    std::ifstream in(file, std::ios::binary);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.empty()) {
            continue;
        }
        if (std::optional<Entry> entry = FromLine(line)) {
            contents.entries.push_back(std::move(*entry));
        } else {
            contents.warnings.push_back("line " + std::to_string(number) + " of " + PathText(file) +
                                        " is damaged and was skipped");
        }
    }
    return contents;
}

}  // namespace lut::record
