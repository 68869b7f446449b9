// Safe output on Windows: CreateFile with CREATE_NEW under a random name in the target's folder, then
// ReplaceFile over an existing target (which keeps its attributes and security) or MoveFileEx into a
// new one. The temporary file is opened with delete sharing, so a console interrupt can mark it for
// deletion while it is still open; it goes when the process ends.
#define _CRT_RAND_S  // rand_s: random numbers from the system, not from the C library's sequence
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdlib>

#include "tools/imagefile/output_file.h"
#include "tools/imagefile/wide_path_win32.h"

namespace aperlume::tool {
namespace {

// The temporary file being written, for the console handler.
wchar_t temporaryPath[32768];
volatile LONG temporaryExists = 0;

BOOL WINAPI RemoveTemporaryOnInterrupt(DWORD) {
    if (temporaryExists != 0) DeleteFileW(temporaryPath);
    return FALSE;  // and let the next handler end the process as usual
}

class InterruptCleanup {
public:
    InterruptCleanup() { SetConsoleCtrlHandler(RemoveTemporaryOnInterrupt, TRUE); }
    ~InterruptCleanup() { SetConsoleCtrlHandler(RemoveTemporaryOnInterrupt, FALSE); }
    InterruptCleanup(const InterruptCleanup&) = delete;
    InterruptCleanup& operator=(const InterruptCleanup&) = delete;
};

std::string SystemText(DWORD error) {
    char text[256] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                  sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == '.')) --length;
    return length > 0 ? std::string(text, length) : "error " + std::to_string(error);
}

ToolStatus Failure(const std::string& path, DWORD error) {
    return ToolStatus::Failure("cannot write " + path + ": " + SystemText(error));
}

// The folder part of `wide`, with its separator, or "" for a bare name.
std::wstring FolderPrefix(const std::wstring& wide) {
    const std::size_t slash = wide.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : wide.substr(0, slash + 1);
}

HANDLE CreateTemporary(const std::wstring& target) {
    const std::wstring prefix = FolderPrefix(target) + L"." + target.substr(FolderPrefix(target).size()) + L".aperlume-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned int random[2] = {};
        if (rand_s(&random[0]) != 0 || rand_s(&random[1]) != 0) return INVALID_HANDLE_VALUE;
        wchar_t suffix[17];
        for (int i = 0; i < 16; ++i) suffix[i] = L"0123456789abcdef"[(random[i / 8] >> (4 * (i % 8))) & 15u];
        suffix[16] = L'\0';
        const std::wstring name = prefix + suffix;
        if (name.size() >= std::size(temporaryPath)) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return INVALID_HANDLE_VALUE;
        }
        HANDLE file = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            name.copy(temporaryPath, name.size());
            temporaryPath[name.size()] = L'\0';
            InterlockedExchange(&temporaryExists, 1);
            return file;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) return INVALID_HANDLE_VALUE;
    }
    return INVALID_HANDLE_VALUE;
}

void RemoveTemporary() {
    InterlockedExchange(&temporaryExists, 0);
    DeleteFileW(temporaryPath);
}

}  // namespace

bool IsReadOnlyFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

ToolStatus WriteFileAtomically(const std::string& path, const std::function<ToolStatus(std::FILE* file)>& write) {
    if (ToolStatus s = CheckOutputPath(path); !s.ok()) return s;
    const std::wstring target = WidePath(path);
    const bool replacing = GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;

    InterruptCleanup cleanup;
    HANDLE handle = CreateTemporary(target);
    if (handle == INVALID_HANDLE_VALUE) return Failure(path, GetLastError());
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
    std::FILE* file = descriptor < 0 ? nullptr : _fdopen(descriptor, "w+b");
    if (file == nullptr) {
        if (descriptor < 0)
            CloseHandle(handle);
        else
            _close(descriptor);
        RemoveTemporary();
        return ToolStatus::Failure("cannot write " + path + ": out of resources");
    }

    ToolStatus status = write(file);
    DWORD why = 0;
    const auto failed = [] { return GetLastError() != 0 ? GetLastError() : static_cast<DWORD>(ERROR_WRITE_FAULT); };
    if (status.ok() && (std::fflush(file) != 0 || !FlushFileBuffers(handle))) why = failed();
    if (std::fclose(file) != 0 && status.ok() && why == 0) why = failed();
    if (status.ok() && why != 0) status = Failure(path, why);

    if (status.ok()) {
        const bool replaced =
            (replacing && ReplaceFileW(target.c_str(), temporaryPath, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                       nullptr, nullptr)) ||
            MoveFileExW(temporaryPath, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        if (replaced)
            InterlockedExchange(&temporaryExists, 0);
        else
            status = Failure(path, GetLastError());
    }
    if (!status.ok()) RemoveTemporary();
    return status;
}

}  // namespace aperlume::tool
