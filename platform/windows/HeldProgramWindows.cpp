// The held program on Windows: one handle opened for reading and deleting that
// shares reading alone, so nobody may write to, rename or delete the file from
// the check of its bytes until the started process has it mapped; the rename
// goes through the same handle.
#include <windows.h>

#include <array>
#include <vector>

#include "platform/HeldProgram.hpp"
#include "platform/windows/WideText.hpp"

namespace lumivox::platform {

struct HeldProgram::State {
    HANDLE file = INVALID_HANDLE_VALUE;
    std::wstring path;
    HANDLE process = nullptr;
};

HeldProgram::HeldProgram(std::unique_ptr<State> state) : state_(std::move(state)) {}

HeldProgram::~HeldProgram() {
    if (state_->process != nullptr) {
        CloseHandle(state_->process);
    }
    CloseHandle(state_->file);
}

std::unique_ptr<HeldProgram> HeldProgram::open(const std::string& path) {
    auto state = std::make_unique<State>();
    state->path = widen(path);
    state->file = CreateFileW(state->path.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (state->file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    if (GetFileType(state->file) != FILE_TYPE_DISK) {
        CloseHandle(state->file);
        return nullptr;
    }
    return std::unique_ptr<HeldProgram>(new HeldProgram(std::move(state)));
}

std::optional<Sha256Digest> HeldProgram::sha256() {
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(state_->file, start, nullptr, FILE_BEGIN)) {
        return std::nullopt;
    }
    Sha256Hasher hasher;
    std::vector<std::uint8_t> chunk(65536);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(state_->file, chunk.data(), static_cast<DWORD>(chunk.size()), &got,
                      nullptr)) {
            return std::nullopt;
        }
        if (got == 0) {
            return hasher.finish();
        }
        if (!hasher.add(std::span(chunk.data(), got))) {
            return std::nullopt;
        }
    }
}

bool HeldProgram::moveTo(const std::string& finalPath) {
    const std::wstring target = widen(finalPath);
    const std::size_t nameBytes = target.size() * sizeof(wchar_t);
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(nameBytes);
    std::copy(target.begin(), target.end(), info->FileName);
    if (!SetFileInformationByHandle(state_->file, FileRenameInfo, info,
                                    static_cast<DWORD>(buffer.size()))) {
        return false;
    }
    state_->path = target;
    return true;
}

bool HeldProgram::start(int settleMs) {
    // The command line is the program's path alone, quoted.
    std::wstring line = L"\"" + state_->path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(state_->path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &started)) {
        return false;
    }
    CloseHandle(started.hThread);
    state_->process = started.hProcess;
    if (WaitForSingleObject(started.hProcess, static_cast<DWORD>(settleMs)) == WAIT_OBJECT_0) {
        DWORD code = 1;
        GetExitCodeProcess(started.hProcess, &code);
        return code == 0;
    }
    return true;
}

void HeldProgram::waitForEnd() {
    if (state_->process != nullptr) {
        WaitForSingleObject(state_->process, INFINITE);
    }
}

}  // namespace lumivox::platform
