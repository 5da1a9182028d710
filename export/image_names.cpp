// Image file names with the leading-zero rule.
#include "export/image_names.h"

#include "app/scene.h"

std::string ImageNumber(int value) {
    std::string text;
    if (value <= 999) text += "0";
    if (value <= 99) text += "0";
    if (value <= 9) text += "0";
    return text + std::to_string(value);
}

std::string SnapshotName(int count, int frameNumber) {
    return "Screen_" + ImageNumber(count) + "_" + ImageNumber(frameNumber) + format;
}

std::string SequenceName(int frameNumber) { return inname + "_" + ImageNumber(frameNumber) + format; }
