// Module file access: the five callbacks through which the player reads a
// module, the ModuleFile wrapper the loader reads through, and EmbeddedFile,
// a read-only in-memory file that serves one module held in program data.
//
// Owns: the program-wide callback slots and the embedded module pointer.
// Threads: main thread only (registration, then loadSong).
// Not for: writing files, or reading anything while the slots are empty.
#pragma once
#include <cstdint>

using ModuleOpenFn = void* (*)(const char* name);
using ModuleCloseFn = void (*)(void* handle);
using ModuleReadFn = int (*)(void* destination, int length, void* handle);
using ModuleSeekFn = void (*)(void* handle, int offset, signed char whence);
using ModuleTellFn = int (*)(void* handle);

// Stores all five callbacks and returns 1; if any is null, clears all five and returns 0.
int setFileCallbacks(ModuleOpenFn open, ModuleCloseFn close, ModuleReadFn read, ModuleSeekFn seek,
                     ModuleTellFn tell);
// 1 when all five callbacks are registered.
int haveFileCallbacks();

struct ModuleFile {
    void* handle;
};

ModuleFile* openModuleFile(const char* name);
void closeModuleFile(ModuleFile* file);
int readModuleFile(void* destination, int length, ModuleFile* file);
void seekModuleFile(ModuleFile* file, int offset, signed char whence);
int tellModuleFile(ModuleFile* file);

// One open view of the embedded module; every open gets its own position.
struct EmbeddedFile {
    int32_t size;
    int32_t position;
    const unsigned char* data;
};

// Chooses the bytes embeddedOpen serves. Returns 0 (and serves nothing) for
// null data or a size beyond what a 32-bit position can address.
int setEmbeddedModule(const unsigned char* data, unsigned long size);

void* embeddedOpen(const char* name);
void embeddedClose(void* handle);
int embeddedRead(void* destination, int length, void* handle);
void embeddedSeek(void* handle, int offset, signed char whence);
int embeddedTell(void* handle);
