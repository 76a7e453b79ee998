// vorna-bench: a plain timing harness. Each bench_*.cpp file registers its
// cases with VORNA_BENCH; the runner calls them in name order and each case
// prints its own figures. Nothing here fails: figures only.
#pragma once
#include <chrono>
#include <cstdio>

struct SDL_Surface;

namespace bench {

// An 800x600 surface in the video format (SDL and its video mode set up on
// first use), shared by the cases that draw a frame.
SDL_Surface* videoFrame();

using Fn = void (*)();

struct Case {
    const char* name;
    Fn fn;
    Case* next;
};

// Links a case into the program-wide list; called from static initialisers.
Case* registerCase(Case* c);

inline double nowSeconds() {
    using clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(clock::now().time_since_epoch()).count();
}

// Runs fn repeatedly for at least minSeconds (and at least once) and returns
// the mean seconds per call.
template <typename F>
double timeIt(F&& fn, double minSeconds = 0.3) {
    fn();  // warm-up
    int calls = 0;
    double start = nowSeconds(), elapsed = 0;
    do {
        fn();
        ++calls;
        elapsed = nowSeconds() - start;
    } while (elapsed < minSeconds);
    return elapsed / calls;
}

// Keeps the optimiser from dropping a computed value.
template <typename T>
inline void keep(T const& value) {
    asm volatile("" : : "g"(&value) : "memory");
}

}  // namespace bench

#define VORNA_BENCH_CAT2(a, b) a##b
#define VORNA_BENCH_CAT(a, b) VORNA_BENCH_CAT2(a, b)
#define VORNA_BENCH(name)                                                              \
    static void VORNA_BENCH_CAT(benchFn_, __LINE__)();                                  \
    static bench::Case VORNA_BENCH_CAT(benchCase_, __LINE__){name, VORNA_BENCH_CAT(benchFn_, __LINE__), nullptr}; \
    static bench::Case* VORNA_BENCH_CAT(benchReg_, __LINE__) = bench::registerCase(&VORNA_BENCH_CAT(benchCase_, __LINE__)); \
    static void VORNA_BENCH_CAT(benchFn_, __LINE__)()
