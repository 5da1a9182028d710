// Frames of the render mode written as image files through DevIL, or piped to ffmpeg as raw RGB.
#include "headless/frame_output.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "export/image_file.h"
#include "render/devil.h"

namespace {

pid_t moviePid = -1;
int movieInput = -1;
std::string movieName, movieTemporary;
int movieWidth = 0, movieHeight = 0;
std::vector<unsigned char> moviePixels;
char signalTemporary[4096] = "";  // the movie's temporary name for a signal handler: no allocation there

void RememberForSignals(const std::string& temporary) {
    if (temporary.size() < sizeof signalTemporary) std::memcpy(signalTemporary, temporary.c_str(), temporary.size() + 1);
}

bool WriteAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        ssize_t done = write(fd, data, size);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        data += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

}  // namespace

bool WriteFrameImage(const std::string& name, std::string& error) { return WriteImageFile(name, error); }

bool FindOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        std::string folder = end > start ? folders.substr(start, end - start) : ".";
        if (access((folder + "/" + program).c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

bool OpenMovie(const std::string& movie, int width, int height, int fps, std::string& error) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        error = std::string("No pipe to ffmpeg: ") + std::strerror(errno) + ".";
        return false;
    }
    movieName = movie;
    movieTemporary = TemporaryName(movie);
    RememberForSignals(movieTemporary);
    movieWidth = width;
    movieHeight = height;
    std::string size = std::to_string(width) + "x" + std::to_string(height);
    std::string rate = std::to_string(fps);
    // OpenGL's rows run bottom up; ffmpeg flips them. -f mp4: the temporary name has no .mp4 ending.
    std::vector<const char*> args = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
                                     "-f", "rawvideo", "-pix_fmt", "rgb24", "-s", size.c_str(), "-r", rate.c_str(),
                                     "-i", "pipe:0", "-vf", "vflip", "-c:v", "libx264", "-pix_fmt", "yuv420p",
                                     "-f", "mp4", movieTemporary.c_str(), nullptr};
    std::fflush(nullptr);
    moviePid = fork();
    if (moviePid == 0) {
        dup2(pipeEnds[0], 0);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        execvp("ffmpeg", const_cast<char* const*>(args.data()));
        _exit(127);
    }
    close(pipeEnds[0]);
    if (moviePid < 0) {
        close(pipeEnds[1]);
        error = std::string("ffmpeg cannot be started: ") + std::strerror(errno) + ".";
        return false;
    }
    movieInput = pipeEnds[1];
    std::signal(SIGPIPE, SIG_IGN);  // a failing ffmpeg shows as a failed write, not as a killed renderer
    moviePixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    return true;
}

bool WriteMovieFrame(std::string& error) {
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, movieWidth, movieHeight, GL_RGB, GL_UNSIGNED_BYTE, moviePixels.data());
    if (WriteAll(movieInput, moviePixels.data(), moviePixels.size())) return true;
    error = "ffmpeg stopped taking frames for " + movieName + " (see its message above).";
    return false;
}

bool CloseMovie(std::string& error) {
    close(movieInput);
    movieInput = -1;
    int status = 0;
    while (waitpid(moviePid, &status, 0) < 0 && errno == EINTR) {
    }
    moviePid = -1;
    signalTemporary[0] = '\0';
    bool encoded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (encoded && std::rename(movieTemporary.c_str(), movieName.c_str()) == 0) return true;
    error = encoded ? "The movie " + movieName + " cannot be written: " + std::strerror(errno) + "."
                    : "ffmpeg could not encode the movie " + movieName + " (see its message above).";
    std::remove(movieTemporary.c_str());
    return false;
}

void AbandonMovie() {
    if (moviePid <= 0) return;
    if (movieInput >= 0) close(movieInput);
    movieInput = -1;
    kill(moviePid, SIGTERM);
    waitpid(moviePid, nullptr, 0);
    moviePid = -1;
    signalTemporary[0] = '\0';
    std::remove(movieTemporary.c_str());
}

void AbandonMovieInSignal() {
    pid_t pid = moviePid;
    if (pid > 0) {
        kill(pid, SIGKILL);
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    if (signalTemporary[0] != '\0') unlink(signalTemporary);
}
