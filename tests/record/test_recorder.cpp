// The recorder end to end: the command line, the opening's first line on the
// frame its row starts, and (one fresh process per recording, since the
// scenes keep program-wide state) determinism, scene selection, scripted
// keys and the two kinds of output.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "media_output.h"
#include "music/music.h"
#include "music/module_file.h"
#include "music/player.h"
#include "music/row_queue.h"
#include "music/xm_loader.h"
#include "recorder.h"
#include "support/sha256.h"

namespace {

bool parse(std::vector<std::string> words, RecordOptions* o, std::string* error) {
    words.insert(words.begin(), "vorna-record");
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    bool help = false;
    return parseOptions(int(argv.size()), argv.data(), o, error, &help);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string tempDir() {
    char pattern[] = "/tmp/vorna-record-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    return made ? made : "";
}

void removeTree(const std::string& dir) { std::system(("rm -rf '" + dir + "'").c_str()); }

// Runs the tool; its standard output and exit status.
std::string runTool(const std::string& arguments, int* status, const std::string& environment = "") {
    const std::string command = environment + " '" VORNA_RECORD_PATH "' " + arguments + " 2>&1";
    std::FILE* p = popen(command.c_str(), "r");
    std::string out;
    if (!p) {
        *status = -1;
        return out;
    }
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
    const int raw = pclose(p);
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

// "scene N: F frames from frame S" lines of the tool's output.
struct Span {
    int scene;
    unsigned long long frames, first;
};
std::vector<Span> spans(const std::string& out) {
    std::vector<Span> found;
    for (size_t at = out.find("scene "); at != std::string::npos; at = out.find("scene ", at + 1)) {
        Span s{};
        if (std::sscanf(out.c_str() + at, "scene %d: %llu frames from frame %llu", &s.scene, &s.frames, &s.first) == 3)
            found.push_back(s);
    }
    return found;
}

std::string frameFile(const std::string& dir, unsigned long long n) {
    char name[32];
    std::snprintf(name, sizeof name, "/%06llu.ppm", n);
    return dir + name;
}

}  // namespace

TEST(RecordOptions, TheCommandLine) {
    RecordOptions o;
    std::string error;
    ASSERT_TRUE(parse({"-o", "clip.webm", "--fps=30", "--seed", "4294967295", "--from", "3", "--to=5", "--seconds",
                       "12.5", "--key", "space@12.5", "--key", "LEFT@1-2.25", "--frames", "--stills", "shots"},
                      &o, &error))
        << error;
    EXPECT_EQ(o.output, "clip.webm");
    EXPECT_EQ(o.fps, 30);
    EXPECT_EQ(o.seed, 4294967295u);
    EXPECT_EQ(o.firstScene, 3);
    EXPECT_EQ(o.lastScene, 5);
    EXPECT_DOUBLE_EQ(o.seconds, 12.5);
    ASSERT_EQ(o.keys.size(), 2u);
    EXPECT_EQ(o.keys[0].key, SDLK_SPACE);
    EXPECT_DOUBLE_EQ(o.keys[0].pressSeconds, 12.5);
    EXPECT_LT(o.keys[0].releaseSeconds, 0) << "a tap";
    EXPECT_EQ(o.keys[1].key, SDLK_LEFT);
    EXPECT_DOUBLE_EQ(o.keys[1].releaseSeconds, 2.25);
    EXPECT_EQ(o.mode, RecordOptions::kFrames);
    EXPECT_EQ(o.stillsDir, "shots");

    EXPECT_EQ(keyByName("Escape"), SDLK_ESCAPE);
    EXPECT_EQ(keyByName("f7"), SDLK_F7);
    EXPECT_EQ(keyByName("X"), SDLK_x);
    EXPECT_EQ(keyByName("7"), SDLK_7);
    EXPECT_EQ(keyByName("shift"), SDLK_UNKNOWN);

    for (const std::vector<std::string>& wrong :
         std::vector<std::vector<std::string>>{{"--fps", "0"}, {"--fps", "241"}, {"--fps", "60x"}, {"-o", "clip.avi"},
                                               {"-o", ".mp4"}, {"--from", "0"}, {"--to", "23"}, {"--from", "9", "--to", "8"},
                                               {"--seconds", "0"}, {"--seconds", "-3"}, {"--seed", "-1"},
                                               {"--seed", "4294967296"}, {"--key", "space"}, {"--key", "hyper@1"},
                                               {"--key", "left@2-1"}, {"--fps"}, {"--loud"}}) {
        RecordOptions fresh;
        error.clear();
        EXPECT_FALSE(parse(wrong, &fresh, &error)) << wrong[0];
        EXPECT_FALSE(error.empty()) << wrong[0];
    }
}

namespace {
struct OpeningWatch {
    std::vector<RowMark> shown;  // the row each frame was drawn with
    std::vector<int> yellow;     // title-yellow pixels in the band where the opening's lines stand
};
void watchOpening(const uint8_t* rgb, int width, int, uint64_t, void* user) {
    OpeningWatch* w = static_cast<OpeningWatch*>(user);
    w->shown.push_back({positionSnapshot.frame.load(), 0, positionSnapshot.order.load(), positionSnapshot.row.load()});
    int count = 0;
    for (int y = 220; y < 280; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = rgb + (size_t(y) * width + x) * 3;
            if (p[0] == 0xFF && p[1] == 0xFF && p[2] == 0x00) ++count;
        }
    w->yellow.push_back(count);
}

// The first sample of every row in the song's first `seconds`, from the song alone.
std::vector<RowMark> rowStarts(double seconds) {
    setEmbeddedModule(kestrulaXm, kestrulaXm_size);
    setFileCallbacks(embeddedOpen, embeddedClose, embeddedRead, embeddedSeek, embeddedTell);
    Song* song = loadSong("KESTRULA.XM", nullptr);
    EXPECT_NE(song, nullptr);
    std::vector<RowMark> starts;
    if (!song) return starts;
    setOutputRate(44100);
    rewindSong(song);
    std::vector<float> mix(2 * framesPerBlock);
    std::vector<int16_t> out(2 * framesPerBlock);
    RowQueue rows;
    for (uint64_t at = 0; double(at) < seconds * 44100; at += framesPerBlock) {
        renderQueuedBlock(song, mix.data(), out.data(), rows, at);
        for (uint64_t f = at; f < at + framesPerBlock; ++f) {
            RowMark m;
            if (rows.take(f, &m)) starts.push_back(m);
        }
    }
    freeSong(song);
    return starts;
}
}  // namespace

TEST(Recorder, EachRowIsShownFromTheFirstFrameAtOrAfterItsFirstSample) {
    constexpr int fps = 15;
    const std::vector<RowMark> starts = rowStarts(20);
    ASSERT_GT(starts.size(), 100u);

    RecordOptions options;
    options.fps = fps;
    options.seconds = 20;
    options.mode = RecordOptions::kDiscard;
    RecordReport report;
    OpeningWatch watch;
    testing::internal::CaptureStdout();
    ASSERT_EQ(record(options, &report, watchOpening, &watch), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(report.frames, 20u * fps);
    EXPECT_EQ(report.audioFrames, 20u * 44100);
    ASSERT_EQ(watch.shown.size(), 20u * fps);

    // A few rows across the first pattern and the next: the frame that first
    // shows each is the first whose time is at or after its first sample.
    for (const auto& [order, row] : std::vector<std::pair<int, int>>{{0, 1}, {0, 8}, {0, 32}, {0, 33}, {1, 0}, {1, 17}}) {
        SCOPED_TRACE(testing::Message() << "order " << order << " row " << row);
        const auto start = std::find_if(starts.begin(), starts.end(),
                                        [&](const RowMark& m) { return m.order == order && m.row == row; });
        ASSERT_NE(start, starts.end());
        size_t expected = 0;
        while (expected * 44100 / fps < start->frame) ++expected;
        size_t first = 0;
        while (first < watch.shown.size() && !(watch.shown[first].order == order && watch.shown[first].row == row)) ++first;
        EXPECT_EQ(first, expected);
        ASSERT_LT(first, watch.shown.size());
        EXPECT_EQ(watch.shown[first].frame, start->frame);
    }

    // The opening's first line appears with row 32.
    const auto row32 = std::find_if(starts.begin(), starts.end(), [](const RowMark& m) { return m.row == 32; });
    ASSERT_NE(row32, starts.end());
    size_t first32 = 0;
    while (first32 < watch.shown.size() && watch.shown[first32].row != 32) ++first32;
    ASSERT_LT(first32, watch.shown.size());
    ASSERT_GT(first32, 0u);
    EXPECT_LT(watch.yellow[first32 - 1], 20) << "no line before row 32";
    EXPECT_GT(watch.yellow[first32], 500) << "\"*** VORNA ***\" on the frame where row 32 starts";
    ASSERT_EQ(report.scenes.size(), 1u);
    EXPECT_EQ(report.scenes[0].scene, 1);
}

TEST(Sha256, KnownDigests) {
    struct Case {
        std::string text;
        const char* digest;
    };
    for (const Case& c : {Case{"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
                          Case{"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
                          Case{"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                               "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
                          Case{std::string(1000, 'a'), "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3"}}) {
        Sha256 whole, pieces;
        whole.add(c.text.data(), c.text.size());
        EXPECT_EQ(whole.hex(), c.digest) << c.text.size() << " bytes";
        for (size_t at = 0; at < c.text.size(); at += 7) pieces.add(c.text.data() + at, std::min<size_t>(7, c.text.size() - at));
        EXPECT_EQ(pieces.hex(), c.digest) << "in pieces of 7";
    }
}

TEST(RecorderTool, HashIsTheDigestOfTheFramesPixelsAndOfTheWav) {
    const std::string dir = tempDir();
    ASSERT_FALSE(dir.empty());
    int status = 0;
    const std::string hashed = runTool("--hash -q --fps 5 --from 3 --to 3 --seconds 2 -o " + dir + "/h.mp4", &status);
    ASSERT_EQ(status, 0) << hashed;
    const std::string out = runTool("--frames -q --fps 5 --from 3 --to 3 --seconds 2 -o " + dir + "/f.mp4", &status);
    ASSERT_EQ(status, 0) << out;
    Sha256 frames, wav;
    for (int n = 0; n < 10; ++n) {
        const std::string ppm = readFile(frameFile(dir + "/f-frames", n));
        ASSERT_GT(ppm.size(), 15u);
        frames.add(ppm.data() + 15, ppm.size() - 15);  // the pixels after "P6\n800 600\n255\n"
    }
    const std::string audio = readFile(dir + "/f-frames/audio.wav");
    wav.add(audio.data(), audio.size());
    EXPECT_NE(hashed.find("frames sha256 " + frames.hex() + "\n"), std::string::npos) << hashed;
    EXPECT_NE(hashed.find("wav sha256 " + wav.hex() + "\n"), std::string::npos) << hashed;
    struct stat st;
    EXPECT_NE(stat((dir + "/h-frames").c_str(), &st), 0) << "--hash writes no frames";
    removeTree(dir);
}

TEST(RecorderTool, TwoRecordingsWithOneSeedAreByteIdentical) {
    const std::string dir = tempDir();
    ASSERT_FALSE(dir.empty());
    int status = 0;
    // Scene 3 draws random colours: its first seconds depend on the seed.
    for (const char* name : {"a", "b", "c"}) {
        const std::string seed = std::string(name) == "c" ? "8" : "7";
        const std::string out = runTool("--frames --fps 5 --from 3 --to 3 --seconds 2 --seed " + seed + " -o " + dir +
                                            "/" + name + ".mp4",
                                        &status);
        ASSERT_EQ(status, 0) << out;
    }
    const std::string a = dir + "/a-frames", b = dir + "/b-frames", c = dir + "/c-frames";
    const std::string wav = readFile(a + "/audio.wav");
    EXPECT_EQ(wav.size(), 44u + 10u * 8820 * 4);
    EXPECT_EQ(wav, readFile(b + "/audio.wav"));
    int differing = 0;
    for (int n = 0; n < 10; ++n) {
        const std::string frame = readFile(frameFile(a, n));
        ASSERT_EQ(frame.size(), 15u + 800 * 600 * 3) << n;
        EXPECT_EQ(frame, readFile(frameFile(b, n))) << "frame " << n;
        if (frame != readFile(frameFile(c, n))) ++differing;
    }
    EXPECT_GT(differing, 0) << "another seed, other pictures";
    EXPECT_FALSE(access(frameFile(a, 10).c_str(), F_OK) == 0) << "2 s at 5 fps is 10 frames";
    removeTree(dir);
}

TEST(RecorderTool, OneSceneAloneIsThatStretchOfTheWhole) {
    const std::string dir = tempDir();
    ASSERT_FALSE(dir.empty());
    int status = 0;
    const std::string whole = runTool("--frames --fps 4 --to 2 -o " + dir + "/whole.mp4", &status);
    ASSERT_EQ(status, 0) << whole;
    const std::string alone = runTool("--frames --fps 4 --from 2 --to 2 -o " + dir + "/alone.mp4", &status);
    ASSERT_EQ(status, 0) << alone;
    const std::vector<Span> w = spans(whole), s = spans(alone);
    ASSERT_EQ(w.size(), 2u) << whole;
    ASSERT_EQ(s.size(), 1u) << alone;
    EXPECT_EQ(s[0].scene, 2);
    EXPECT_EQ(s[0].first, 0u);
    EXPECT_EQ(s[0].frames, w[1].frames);
    ASSERT_GT(w[1].frames, 0u);
    EXPECT_EQ(w[1].first, w[0].frames);

    for (unsigned long long n = 0; n < s[0].frames; ++n)
        ASSERT_EQ(readFile(frameFile(dir + "/alone-frames", n)), readFile(frameFile(dir + "/whole-frames", w[1].first + n)))
            << "frame " << n;
    EXPECT_NE(access(frameFile(dir + "/alone-frames", s[0].frames).c_str(), F_OK), 0) << "nothing after the scene";
    // The sound of the scene alone is the same stretch of the whole's sound.
    const std::string wholeWav = readFile(dir + "/whole-frames/audio.wav");
    const std::string aloneWav = readFile(dir + "/alone-frames/audio.wav");
    const size_t from = 44 + size_t(w[1].first) * (44100 / 4) * 4;
    ASSERT_EQ(aloneWav.size() - 44, size_t(s[0].frames) * (44100 / 4) * 4);
    ASSERT_EQ(wholeWav.size(), from + aloneWav.size() - 44);
    EXPECT_TRUE(wholeWav.compare(from, std::string::npos, aloneWav, 44, std::string::npos) == 0);
    removeTree(dir);
}

TEST(RecorderTool, KeysAtGivenTimes) {
    const std::string dir = tempDir();
    int status = 0;
    // Space released one second in skips the opening; Escape at 2.5 s stops in the picture.
    const std::string out =
        runTool("--frames --fps 10 --key space@1 --key escape@2.5 -o " + dir + "/keys.mp4", &status);
    ASSERT_EQ(status, 0) << out;
    const std::vector<Span> s = spans(out);
    ASSERT_EQ(s.size(), 2u) << out;
    // The release is seen by the frame drawn at 1.0 s, which still belongs to the opening.
    EXPECT_EQ(s[0].frames, 11u);
    EXPECT_EQ(s[1].scene, 2);
    EXPECT_EQ(s[0].frames + s[1].frames, 26u);
    removeTree(dir);
}

TEST(RecorderTool, WithoutFfmpegFramesAndACommandLine) {
    const std::string dir = tempDir();
    int status = 0;
    const std::string out = runTool("--fps 5 --seconds 1 -o " + dir + "/nothing.webm", &status, "PATH=" + dir);
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("to make the video: ffmpeg -framerate 5 -i " + dir + "/nothing-frames/%06d.ppm -i " + dir +
                       "/nothing-frames/audio.wav -c:v libvpx-vp9"),
              std::string::npos)
        << out;
    EXPECT_EQ(access((dir + "/nothing.webm").c_str(), F_OK), -1);
    EXPECT_EQ(access(frameFile(dir + "/nothing-frames", 4).c_str(), F_OK), 0);
    EXPECT_EQ(readFile(dir + "/nothing-frames/audio.wav").size(), 44u + 44100 * 4);
    removeTree(dir);
}

TEST(RecorderTool, MuxedIntoOneFileByFfmpeg) {
    const std::string ffmpeg = findFfmpeg();
    if (ffmpeg.empty()) GTEST_SKIP() << "ffmpeg is not installed";
    const std::string dir = tempDir();
    int status = 0;
    const std::string out = runTool("--fps 10 --seconds 1 -o " + dir + "/clip.mp4", &status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("video: " + dir + "/clip.mp4"), std::string::npos) << out;
    const std::string clip = readFile(dir + "/clip.mp4");
    ASSERT_GT(clip.size(), 12u);
    EXPECT_EQ(clip.substr(4, 4), "ftyp");
    EXPECT_NE(clip.find("avc1"), std::string::npos) << "H.264 video";
    EXPECT_NE(clip.find("mp4a"), std::string::npos) << "AAC sound";
    EXPECT_NE(access((dir + "/clip.mp4.video.mkv").c_str(), F_OK), 0) << "the parts are removed";
    EXPECT_NE(access((dir + "/clip.mp4.audio.wav").c_str(), F_OK), 0);
    removeTree(dir);
}
