// Where a recording goes: a WAV file of the music, and the frames either
// piped into ffmpeg, written as numbered PPM pictures, or (for measuring)
// thrown away; then, with ffmpeg, the one pass that muxes both into the
// video file.
//
// Owns: its files, its pipe and the ffmpeg processes it starts (each waited
// for). Threads: main thread only. Not for: reading media back.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// 16-bit stereo PCM; the sizes in the header are written at close.
struct WavWriter {
    std::FILE* file = nullptr;
    uint32_t rate = 44100;
    uint64_t dataBytes = 0;

    bool open(const std::string& path, uint32_t rate);
    bool write(const int16_t* samples, size_t count);
    bool close();
};

// The first executable named ffmpeg on PATH, or empty.
std::string findFfmpeg();

// The arguments, the way a shell would want them typed.
std::string shellCommand(const std::vector<std::string>& arguments);

// What the output path's extension asks for: false for anything but .mp4 and .webm.
bool videoContainer(const std::string& path, std::string* container);

// The ffmpeg arguments for each pass. Encoder settings are fixed and every
// stamp that could vary (creation time, metadata) is left out, so that one
// recording always gives the same bytes.
std::vector<std::string> encodeArguments(const std::string& ffmpeg, const std::string& container, int fps,
                                         int width, int height, const std::string& videoPath);
std::vector<std::string> muxArguments(const std::string& ffmpeg, const std::string& container,
                                      const std::string& videoPath, const std::string& wavPath,
                                      const std::string& outputPath);
// For frames left on disk: the command that turns them into the video.
std::vector<std::string> framesArguments(const std::string& container, int fps, const std::string& framesDir,
                                         const std::string& wavPath, const std::string& outputPath);

// Runs a program to its end with stdout and stderr as they are; its exit status, or -1.
int runProgram(const std::vector<std::string>& arguments);

// A program that reads the frames on its stdin.
struct PipeProcess {
    pid_t pid = -1;
    std::FILE* input = nullptr;

    bool start(const std::vector<std::string>& arguments);
    bool write(const void* data, size_t bytes);
    // Closes the pipe, waits; true when the program exited with 0.
    bool finish();
};

// Every frame of a recording in 24-bit RGB, top row first.
struct FrameSink {
    enum Kind { kDiscard, kPpmFiles, kPipe };
    Kind kind = kDiscard;
    std::string framesDir;  // kPpmFiles
    PipeProcess pipe;       // kPipe
    uint64_t written = 0;
    bool failed = false;

    bool write(const uint8_t* rgb, int width, int height);
    bool finish();
};

// Writes one picture as binary PPM.
bool writePpm(const std::string& path, const uint8_t* rgb, int width, int height);
