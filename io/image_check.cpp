// Trial decode of an image file in a child process.
#include "io/image_check.h"

#include <IL/il.h>
#include <fcntl.h>     // Required for: open()
#include <signal.h>    // Required for: kill()
#include <sys/wait.h>  // Required for: waitpid()
#include <unistd.h>    // Required for: fork(), _exit(), dup2()

#include <chrono>
#include <thread>

namespace {

// Exit codes of the child; anything else (a signal, a sanitizer's report) means the library broke down.
constexpr int CHILD_DECODED = 0;
constexpr int CHILD_REFUSED = 3;

[[noreturn]] void DecodeInChild(const std::string& name) {
    // NOTE: the library prints its own complaints to the error stream; the parent explains instead.
    int quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) dup2(quiet, STDERR_FILENO);
    ilInit();
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    bool decoded = ilLoadImage(name.c_str());
    ilDeleteImages(1, &image);  // some broken files only bring the library down here
    // _exit: the parent's X connection and buffered output must stay untouched.
    _exit(decoded ? CHILD_DECODED : CHILD_REFUSED);
}

// Waits for the child until the deadline; false when it is still running then.
bool WaitForChild(pid_t child, double seconds, int& status) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    auto pause = std::chrono::microseconds(200);
    for (;;) {
        pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) return true;
        if (done < 0) {
            status = -1;
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(pause);
        if (pause < std::chrono::milliseconds(10)) pause *= 2;
    }
}

}  // namespace

ImageCheck CheckImageDecodes(const std::string& name, double seconds) {
    pid_t child = fork();
    if (child < 0) return IMAGE_UNREADABLE;  // no process to spare: do not risk the library here either
    if (child == 0) DecodeInChild(name);
    int status = 0;
    if (!WaitForChild(child, seconds, status)) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        return IMAGE_TOO_SLOW;
    }
    if (status >= 0 && WIFEXITED(status)) {
        if (WEXITSTATUS(status) == CHILD_DECODED) return IMAGE_DECODES;
        if (WEXITSTATUS(status) == CHILD_REFUSED) return IMAGE_UNREADABLE;
    }
    return IMAGE_BREAKS_READER;
}
