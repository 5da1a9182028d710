// The program's state is program-wide, so Python reaches it through one door: CallProgram.
#include "console_capture.h"

#include <iostream>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "core/exit_sequence.h"
#include "core/scene.h"

namespace py = pybind11;

namespace {

// Thrown by the fatal ending through the reader's frames back to CallProgram.
struct ProgramStopped {
    std::string prompt;
};

std::mutex programLock;       // one call into the program at a time, from any thread
py::object errorType;

void RaiseFromFatalError(const std::string& prompt) { throw ProgramStopped{prompt}; }
void RaiseFromQuietEnd() { throw ProgramStopped{""}; }

// Console lines as one message: the explaining lines, without the trailing blank.
std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

// Sends standard output and standard error into one string while it lives, and gives every question the
// program asks (another configuration name) the end of input at once: the interpreter's own input is never read.
struct ConsoleCatcher {
    std::ostringstream text;
    std::istringstream noAnswers;
    std::streambuf* out = std::cout.rdbuf(text.rdbuf());
    std::streambuf* err = std::cerr.rdbuf(text.rdbuf());
    std::streambuf* in = std::cin.rdbuf(noAnswers.rdbuf());
    ~ConsoleCatcher() {
        std::cout.rdbuf(out);
        std::cerr.rdbuf(err);
        std::cin.rdbuf(in);
        std::cin.clear();
    }
};

}  // namespace

void CallProgram(const std::function<void()>& work) {
    bool stopped = false;
    std::string message;
    {
        py::gil_scoped_release unlocked;
        std::lock_guard<std::mutex> held(programLock);
        ConsoleCatcher console;
        try {
            work();
        } catch (const ProgramStopped&) {
            stopped = true;
        }
        std::cout.flush();
        message = Trimmed(console.text.str());
    }
    if (stopped) {
        if (message.empty()) message = "ovalix: stopped without a message.";
        PyErr_SetString(errorType.ptr(), message.c_str());
        throw py::error_already_set();
    }
}

void RegisterErrors(py::module_& m) {
    errorType = py::exception<std::exception>(m, "Error", PyExc_Exception);
    m.attr("Error").attr("__doc__") =
        "A file or an option the program cannot use; the message holds the lines the viewer would print.";
    fatalEnding = RaiseFromFatalError;
    quietEnding = RaiseFromQuietEnd;
    headless = true;  // messages name no window keys
}
