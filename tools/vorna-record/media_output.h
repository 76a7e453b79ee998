// Where a recording goes: a WAV file of the music, and the frames either
// piped into ffmpeg, written as numbered PPM pictures, or (for measuring)
// thrown away; then, with ffmpeg, the one pass that muxes both into the
// video file.
//
// Owns: its files, its pipe, the ffmpeg processes it starts (each waited
// for) and the frame sink's writer thread. Threads: the main thread, and in
// a FrameSink the writer thread it starts, which alone touches the pipe or
// the frame files while it runs. Not for: reading media back.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Where the channels sit in a pixel of 2 to 4 bytes, as SDL describes them.
struct PixelLayout {
    int bytesPerPixel = 4;
    uint32_t masks[3] = {0xFF0000, 0xFF00, 0xFF};
    uint8_t shifts[3] = {16, 8, 0};
    uint8_t losses[3] = {0, 0, 0};
};

// Turns height rows of width pixels, pitch bytes apart, into 24-bit RGB
// (width * 3 bytes a row, top row first).
void toRgb(const uint8_t* pixels, int pitch, const PixelLayout& layout, int width, int height, uint8_t* rgb);

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

// Every frame of a recording, handed over in the screen's own layout and
// written as 24-bit RGB, top row first, by a thread of the sink's own, so
// that the production draws the next frames while this one is converted and
// encoded. At most kSlots frames wait; put waits when they are all taken.
struct FrameSink {
    enum Kind { kDiscard, kPpmFiles, kPipe };
    static constexpr int kSlots = 4;

    Kind kind = kDiscard;
    std::string framesDir;  // kPpmFiles
    PipeProcess pipe;       // kPipe (started before start)
    std::atomic<bool> failed{false};

    // Frames of width x height pixels, pitch bytes a row, in layout.
    void start(const PixelLayout& layout, int width, int height, int pitch);
    // Copies one frame and queues it; false once a write has failed.
    bool put(const uint8_t* pixels);
    // Writes what is queued, stops the thread, closes the pipe; true when every frame was written.
    bool finish();
    uint64_t written() const { return writtenCount.load(); }

private:
    void writeFrames();  // the writer thread
    bool writeOne(const uint8_t* rgb);

    PixelLayout layout;
    int width = 0, height = 0, pitch = 0;
    std::vector<uint8_t> slots[kSlots];
    int first = 0, queued = 0;  // the oldest waiting slot and how many wait (under lock)
    bool closing = false;       // (under lock)
    std::mutex lock;
    std::condition_variable changed;
    std::thread writer;
    std::atomic<uint64_t> writtenCount{0};
};

// Writes one picture as binary PPM.
bool writePpm(const std::string& path, const uint8_t* rgb, int width, int height);
