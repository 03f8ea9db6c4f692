// The Linux side of the default host: /proc/self/exe, xdg-open and posix_spawn.
#include "online/OnlineHost.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <system_error>
#include <thread>

extern char** environ;

namespace twinspotter {

std::filesystem::path OnlineHost::programDirectory()
{
    std::error_code error;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        exe = std::filesystem::current_path(error) / "twinspotter";
    // A trailing empty element makes the path end in "/", so file names join directly.
    return exe.parent_path() / "";
}

namespace {

// Reaps the child in the background, so that it leaves no zombie and the caller never waits for it.
void reapLater(pid_t pid)
{
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
}

} // namespace

void OnlineHost::open(const std::string& target)
{
    pid_t pid = 0;
    std::string program = "xdg-open";
    char* argv[] = {program.data(), const_cast<char*>(target.c_str()), nullptr};
    if (posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0)
        return; // like the shell's "Open", a start that fails is not looked at
    reapLater(pid);
}

int OnlineHost::startProgram(const std::filesystem::path& program)
{
    posix_spawnattr_t attributes;
    if (int error = posix_spawnattr_init(&attributes))
        return error;
    // Its own session, so that closing this program's terminal does not end an update half way; signals that
    // this process ignores or blocks are the program's own business again.
    sigset_t all;
    sigset_t none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::string path = program.string();
    char* argv[] = {path.data(), nullptr};
    pid_t pid = 0;
    // glibc reports a failed exec here, so the caller learns whether the program really runs.
    const int error = posix_spawn(&pid, path.c_str(), nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    if (error == 0)
        reapLater(pid);
    return error;
}

} // namespace twinspotter
