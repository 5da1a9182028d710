// Where the render mode's frames go: one image file each, or an H.264 movie through ffmpeg.
#pragma once

#include <string>
#include <vector>

// Write the viewport as the image `name`, whole or not at all. False with a message in `error`.
bool WriteFrameImage(const std::string& name, std::string& error);

bool FindOnPath(const std::string& program);  // an executable of that name in a folder of PATH
// Start ffmpeg encoding width x height RGB frames at fps into `movie` (written under a temporary name).
bool OpenMovie(const std::string& movie, int width, int height, int fps, std::string& error);
void ReadPicture(int width, int height, std::vector<unsigned char>& rgb);  // the viewport's RGB rows, bottom up
bool WriteMovieFrame(std::string& error);     // the viewport's pixels as the next movie frame
bool CloseMovie(std::string& error);          // wait for ffmpeg; on success the movie gets its final name
void StopMovie();                             // stop ffmpeg and wait for it; RemovePendingTemporary then removes
                                              // the unfinished movie
void KillMovieInSignal();                     // the same with signal-safe calls only: kill, reap
