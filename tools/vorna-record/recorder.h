// vorna-record: the whole production (or a stretch of its scenes) played on
// the virtual world and written as a video, frame by frame at a fixed rate
// with the music rendered in step, so that picture and sound agree whatever
// the speed of the machine.
//
// Owns: the run it records (engine, production, music) from start to
// shutdown, and the seams it installs for that time (clock, timers, keys,
// present hook, seed, sound device), all put back before record returns.
// Threads: main thread, with the frame sink's writer thread (media_output.h)
// converting and writing the frames it is handed.
// Not for: recording while anything else uses SDL or the player.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <SDL/SDL.h>

// A key pressed at a time of the recording: released at once (a tap), or
// held down until releaseSeconds.
struct KeyPress {
    SDLKey key;
    double pressSeconds;
    double releaseSeconds;  // below 0: a tap
};

struct RecordOptions {
    enum Output { kAutomatic, kFrames, kDiscard, kHash };
    int fps = 60;
    std::string output = "vorna.mp4";
    unsigned seed = 1;
    int firstScene = 1;
    int lastScene = 22;
    double seconds = -1;  // below 0: until the last scene ends
    std::vector<KeyPress> keys;
    Output mode = kAutomatic;  // kAutomatic: muxed by ffmpeg when it is installed, else frames;
                               // kHash: nothing written, digests of the frames and the WAV
    std::string stillsDir;     // one picture of each recorded scene, when not empty
    bool quiet = false;        // no progress line on standard error
};

// Fills options from the command line; false with a one-line reason in
// *error (or with *help set for -h/--help).
bool parseOptions(int argc, char** argv, RecordOptions* options, std::string* error, bool* help);
const char* usageText();

// The SDL key a name stands for ("space", "escape", "f1", "left", "a" ...); SDLK_UNKNOWN when none.
SDLKey keyByName(const std::string& name);

struct SceneSpan {
    int scene;
    uint64_t firstFrame;  // frame index in the recording
    uint64_t frames;
};

// Called for every recorded frame, before the world moves on: the frame in
// 24-bit RGB, its index in the recording.
using FrameObserver = void (*)(const uint8_t* rgb, int width, int height, uint64_t index, void* user);

struct RecordReport {
    uint64_t frames = 0;
    uint64_t audioFrames = 0;
    double wallSeconds = 0;
    std::string videoPath;   // the muxed file, when there is one
    std::string framesDir;   // the numbered frames, when they were left on disk
    std::string wavPath;     // the WAV beside the frames
    std::string command;     // the ffmpeg line that would mux the frames
    std::string framesSha256;  // kHash: over the 24-bit RGB pixels of every frame, in order
    std::string wavSha256;     // kHash: of the WAV file --frames would write
    std::vector<SceneSpan> scenes;
};

// Records; 0 on success, 1 when the production or the output could not be
// had (the reason printed once, where it happened).
int record(const RecordOptions& options, RecordReport* report, FrameObserver observer = nullptr,
           void* observerUser = nullptr);
