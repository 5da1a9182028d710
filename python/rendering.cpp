// ovalix.render and saving images: the offscreen mode's own option parser and drawing steps, one frame a call,
// into an RGB array instead of a file.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include "console_capture.h"
#include "core/exit_sequence.h"
#include "core/scene.h"
#include "export/image_file.h"
#include "headless/egl_context.h"
#include "headless/frame_output.h"
#include "headless/render_job.h"
#include "headless/render_options.h"
#include "io/trajectory.h"
#include "module_parts.h"
#include "render/devil.h"

namespace py = pybind11;

namespace {

// A render argument the options refuse: ovalix.OptionError, both an ovalix.Error and a ValueError.
struct OptionProblem {
    std::string message;
};

// A frame number beyond the trajectory: IndexError.
struct FrameOutOfRange {
    std::string message;
};

py::object optionErrorType;

// What the program's scene was last set up for; guarded by CallProgram. A call with the same options on the
// same load only draws its frame.
long long setUpLoad = 0;
long long loadsBeforeSetUp = 0;  // a load of any run since the set-up undoes it, with ResetScene
std::vector<std::string> setUpWords;
std::string rendererChosen;
bool imageLibraryStarted = false;

// Option mistakes raise OptionError; a file that cannot be used ends like a reader's fatal error.
[[noreturn]] void FailInPython(const std::string& message, int status) {
    if (status == RENDER_USAGE_ERROR) throw OptionProblem{message};
    std::cout << message << std::endl;
    ExitSequence();
}

// The context is current on the calling thread only while a call draws, so that any thread may draw next.
struct ContextReleaser {
    ~ContextReleaser() { ReleaseOffscreenContext(); }
};

RenderOptions ParseWords(const std::vector<std::string>& words, const std::string& file) {
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());
    argv.push_back("--");
    argv.push_back(file.c_str());
    RenderOptions options;
    std::string error;
    if (!ParseRenderOptions(static_cast<int>(argv.size()), argv.data(), options, error)) throw OptionProblem{error};
    return options;
}

// The run read afresh and set up as `ovalix --render` sets it up for a job. Until all of it succeeds t is marked
// as no load's, so that a failure (half a load, half the switches) leaves it to be read again by the next call.
void SetUpScene(TrajectoryHandle& t, const RenderOptions& options) {
    ViewSettings view{};
    CheckBeforeLoading(options, view, FailInPython);
    const long long load = t.loadNumber;
    t.loadNumber = -1;
    if (TrajectoryOpen()) CloseFile();
    ResetScene();
    LoadForRendering(options);
    CheckHiddenSpecies(options, FailInPython);
    UseDrawingSwitches(options, FailInPython);
    StartContext(options.device, rendererChosen, FailInPython);
    MakeSurfaces(options, FailInPython);
    SetUpDrawing(options, options.viewFile.empty() ? nullptr : &view);
    UseLookInsideSwitches(options);
    t.loadNumber = load;
}

// Python's frame index, negative ones counted from the end, checked against the trajectory.
int FrameNumber(long long index) {
    const int frames = FrameCount();
    if (index < 0) index += frames;
    if (index < 0 || index >= frames)
        throw FrameOutOfRange{"frame index out of range: the trajectory has " + std::to_string(frames) + " frames"};
    return static_cast<int>(index);
}

// Rows bottom up as GL reads them, into an (H, W, 3) array with its first row at the top.
py::array_t<unsigned char> TopDown(const std::vector<unsigned char>& rgb, int width, int height) {
    py::array_t<unsigned char> image({height, width, 3});
    const std::size_t row = static_cast<std::size_t>(width) * 3;
    unsigned char* out = image.mutable_data();
    for (int y = 0; y < height; ++y)
        std::memcpy(out + static_cast<std::size_t>(y) * row, rgb.data() + static_cast<std::size_t>(height - 1 - y) * row, row);
    return image;
}

// Draws one frame of t with the options of `words` (the offscreen mode's, without --frames and the file).
py::array_t<unsigned char> Render(TrajectoryHandle& t, const std::vector<std::string>& words, long long index) {
    RenderOptions options;
    std::vector<unsigned char> rgb;
    try {
        options = ParseWords(words, t.path);
        CallWithTrajectory(t, [&] {
            ContextReleaser released;
            if (setUpLoad == t.loadNumber && setUpWords == words && loadsBeforeSetUp == LoadsMade()) {
                StartContext(RenderDevice::Any, rendererChosen, FailInPython);
            } else {
                setUpLoad = 0;
                SetUpScene(t, options);
                setUpLoad = t.loadNumber;
                setUpWords = words;
                loadsBeforeSetUp = LoadsMade();
            }
            DrawFrame(options, FrameNumber(index));
            ReadPicture(options.width, options.height, rgb);
            // Unwrapped or wrapped positions must not reach the frames read next: those read the run afresh.
            if (options.unwrap || options.wrap) t.loadNumber = -1;
        });
    } catch (const OptionProblem& problem) {
        PyErr_SetString(optionErrorType.ptr(), problem.message.c_str());
        throw py::error_already_set();
    } catch (const FrameOutOfRange& problem) {
        throw py::index_error(problem.message);
    }
    return TopDown(rgb, options.width, options.height);
}

// pixels: (H, W, 3) with rows bottom up, written through the one image writer.
void SaveImage(const std::string& name, py::array_t<unsigned char, py::array::c_style | py::array::forcecast> pixels) {
    if (pixels.ndim() != 3 || pixels.shape(2) != 3) throw py::value_error("an image has the shape (height, width, 3)");
    const int height = static_cast<int>(pixels.shape(0)), width = static_cast<int>(pixels.shape(1));
    const unsigned char* rgb = pixels.data();
    CallProgram([&] {
        if (!imageLibraryStarted) ilInit();
        imageLibraryStarted = true;
        std::string error;
        if (WriteImagePixels(name, width, height, rgb, error)) return;
        std::cout << error << std::endl;
        ExitSequence();
    });
}

}  // namespace

void RegisterRendering(py::module_& m) {
    py::object bases = py::make_tuple(m.attr("Error"), py::reinterpret_borrow<py::object>(PyExc_ValueError));
    optionErrorType = py::reinterpret_steal<py::object>(
        PyErr_NewException("ovalix.OptionError", bases.ptr(), nullptr));
    m.attr("OptionError") = optionErrorType;
    m.attr("OptionError").attr("__doc__") = "An option of render the offscreen renderer refuses (a ValueError too).";
    m.def("_render", &Render, py::arg("trajectory"), py::arg("words"), py::arg("frame"),
          "One frame drawn with the offscreen mode's option words; an (H, W, 3) uint8 array, first row at the top.");
    m.def("_save_image", &SaveImage, py::arg("path"), py::arg("pixels"),
          "Writes (H, W, 3) uint8 pixels, rows bottom up, as an image file whole or not at all.");
    m.def("_renderer", [] { return rendererChosen; }, "Which device draws (empty before the first picture).");
}
