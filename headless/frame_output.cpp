// Frames of the render mode written as image files through DevIL, or piped to ffmpeg as raw RGB.
#include "headless/frame_output.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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
int movieFrames = 0;  // frames handed to ffmpeg, to be found again in the finished movie
std::vector<unsigned char> moviePixels;

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

// Standard output of `args` run with no input and its errors silenced; false when it cannot run or fails.
bool OutputOf(const std::vector<const char*>& args, std::string& output) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return false;
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int nothing = open("/dev/null", O_RDWR);
        dup2(nothing, 0);
        dup2(nothing, 2);
        dup2(pipeEnds[1], 1);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        execvp(args[0], const_cast<char* const*>(args.data()));
        _exit(127);
    }
    close(pipeEnds[1]);
    if (pid < 0) {
        close(pipeEnds[0]);
        return false;
    }
    char buffer[512];
    for (;;) {
        ssize_t got = read(pipeEnds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        output.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipeEnds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The value after "key=" on its own line of ffprobe's output, or an empty string.
std::string ProbedValue(const std::string& output, const std::string& key) {
    std::size_t at = ("\n" + output).find("\n" + key + "=");
    if (at == std::string::npos) return "";
    std::size_t start = at + key.size() + 1;
    return output.substr(start, output.find('\n', start) - start);
}

// ffmpeg can report success although the disk filled up while it wrote the movie's index at the end:
// the movie is whole only when ffprobe finds all its frames and a duration.
bool MovieIsWhole(const std::string& file, int frames) {
    std::string output;
    if (!OutputOf({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                   "stream=nb_frames:format=duration", "-of", "default=noprint_wrappers=1", file.c_str(), nullptr},
                  output))
        return false;
    return ProbedValue(output, "nb_frames") == std::to_string(frames) && std::atof(ProbedValue(output, "duration").c_str()) > 0;
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
    HoldTemporary(movieTemporary);
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
    movieFrames = 0;
    return true;
}

void ReadPicture(int width, int height, std::vector<unsigned char>& rgb) {
    rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
}

bool WriteMovieFrame(std::string& error) {
    ReadPicture(movieWidth, movieHeight, moviePixels);
    if (WriteAll(movieInput, moviePixels.data(), moviePixels.size())) {
        ++movieFrames;
        return true;
    }
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
    bool encoded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    bool whole = encoded && MovieIsWhole(movieTemporary, movieFrames);
    int renameError = 0;
    if (RenameIfComplete(movieTemporary, movieName, whole, renameError)) return true;
    if (whole) error = "The movie " + movieName + " cannot be written: " + std::strerror(renameError) + ".";
    else if (encoded) error = "ffmpeg did not finish the movie " + movieName + " (see its message above).";
    else error = "ffmpeg could not encode the movie " + movieName + " (see its message above).";
    return false;
}

void StopMovie() {
    if (moviePid <= 0) return;
    if (movieInput >= 0) close(movieInput);
    movieInput = -1;
    kill(moviePid, SIGTERM);
    waitpid(moviePid, nullptr, 0);
    moviePid = -1;
}

void KillMovieInSignal() {
    pid_t pid = moviePid;
    if (pid > 0) {
        kill(pid, SIGKILL);
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
}
