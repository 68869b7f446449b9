// Safe output on POSIX systems: mkstemp in the target's folder (O_CREAT | O_EXCL, mode 0600, a random
// name), the final mode set on the open file, then rename over the target.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "tools/imagefile/output_file.h"

namespace aperlume::tool {
namespace {

namespace fs = std::filesystem;

// The temporary file being written, for the signal handler, which may do no more than unlink it.
char temporaryPath[PATH_MAX];
volatile std::sig_atomic_t temporaryExists = 0;

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void RemoveTemporaryAndStop(int signal) {
    if (temporaryExists != 0) unlink(temporaryPath);
    // Then end as the signal would have ended the process, so the caller sees what happened.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigaction(signal, &fallback, nullptr);
    raise(signal);
}

// Blocks the interrupt signals for its lifetime, so that the handler never sees a half-updated name.
class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (int signal : kInterrupts) sigaddset(&held, signal);
        sigprocmask(SIG_BLOCK, &held, &previous_);
    }
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t previous_;
};

// Routes the interrupt signals to RemoveTemporaryAndStop while a temporary file exists.
class InterruptCleanup {
public:
    InterruptCleanup() {
        struct sigaction action {};
        action.sa_handler = RemoveTemporaryAndStop;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kInterrupts); ++i) {
            sigaction(kInterrupts[i], &action, &previous_[i]);
            if (previous_[i].sa_handler == SIG_IGN) sigaction(kInterrupts[i], &previous_[i], nullptr);  // nohup
        }
    }
    ~InterruptCleanup() {
        for (std::size_t i = 0; i < std::size(kInterrupts); ++i) sigaction(kInterrupts[i], &previous_[i], nullptr);
    }
    InterruptCleanup(const InterruptCleanup&) = delete;
    InterruptCleanup& operator=(const InterruptCleanup&) = delete;

private:
    struct sigaction previous_[std::size(kInterrupts)];
};

mode_t NewFileMode() {
    const mode_t mask = umask(0);  // the only way to read the mask; the tool has one thread here
    umask(mask);
    return 0666 & ~mask;
}

ToolStatus Failure(const std::string& path, int error) {
    return ToolStatus::Failure("cannot write " + path + ": " + std::strerror(error));
}

void RemoveTemporary() {
    SignalsHeld held;
    unlink(temporaryPath);
    temporaryExists = 0;
}

}  // namespace

bool IsReadOnlyFile(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || S_ISDIR(status.st_mode)) return false;
    // Root may write anything, but a file without write bits still says "keep me".
    return (status.st_mode & 0222) == 0 || access(path.c_str(), W_OK) != 0;
}

ToolStatus WriteFileAtomically(const std::string& path, const std::function<ToolStatus(std::FILE* file)>& write) {
    if (ToolStatus s = CheckOutputPath(path); !s.ok()) return s;
    // A link is written through, so that it still points at the new content.
    std::error_code ignored, error;
    fs::path target(path);
    if (fs::is_symlink(target, ignored) && fs::exists(target, ignored)) {
        target = fs::canonical(target, error);
        if (error) return ToolStatus::Failure("cannot write " + path + ": " + error.message());
    }

    struct stat existing {};
    const bool replacing = stat(target.c_str(), &existing) == 0;
    const mode_t mode = replacing ? existing.st_mode & 07777 : NewFileMode();
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    const std::string pattern = (folder / ("." + target.filename().string() + ".aperlume-XXXXXX")).string();
    if (pattern.size() >= sizeof temporaryPath) return Failure(path, ENAMETOOLONG);

    InterruptCleanup cleanup;
    int descriptor = -1;
    {
        SignalsHeld held;
        std::memcpy(temporaryPath, pattern.c_str(), pattern.size() + 1);
        descriptor = mkstemp(temporaryPath);
        if (descriptor < 0) return Failure(path, errno);
        temporaryExists = 1;
    }
    std::FILE* file = fdopen(descriptor, "w+b");
    if (file == nullptr) {
        const int why = errno;
        close(descriptor);
        RemoveTemporary();
        return Failure(path, why);
    }

    ToolStatus status = write(file);
    int why = 0;
    if (status.ok()) {
        if (std::fflush(file) != 0) why = errno;
        // The owner of a replaced file stays, where we may give it (root, or a group of ours); the
        // owner is set before the mode, which a change of owner may clear.
        if (why == 0 && replacing && (existing.st_uid != geteuid() || existing.st_gid != getegid()))
            (void)!fchown(descriptor, existing.st_uid, existing.st_gid);
        if (why == 0 && fchmod(descriptor, mode) != 0) why = errno;
        if (why == 0 && fsync(descriptor) != 0) why = errno;  // the content is on disk before the name
    }
    if (std::fclose(file) != 0 && why == 0) why = errno;
    if (status.ok() && why != 0) status = Failure(path, why);

    if (status.ok()) {
        SignalsHeld held;
        if (std::rename(temporaryPath, target.c_str()) == 0)
            temporaryExists = 0;
        else
            status = Failure(path, errno);
    }
    if (!status.ok()) RemoveTemporary();
    return status;
}

}  // namespace aperlume::tool
