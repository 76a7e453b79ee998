#include "music/module_file.h"

#include <cstdlib>
#include <cstring>

namespace {

ModuleOpenFn openFn = nullptr;
ModuleCloseFn closeFn = nullptr;
ModuleReadFn readFn = nullptr;
ModuleSeekFn seekFn = nullptr;
ModuleTellFn tellFn = nullptr;

const unsigned char* embeddedData = nullptr;
int32_t embeddedSize = 0;

}  // namespace

int setFileCallbacks(ModuleOpenFn open, ModuleCloseFn close, ModuleReadFn read, ModuleSeekFn seek,
                     ModuleTellFn tell) {
    if (!open || !close || !read || !seek || !tell) {
        openFn = nullptr;
        closeFn = nullptr;
        readFn = nullptr;
        seekFn = nullptr;
        tellFn = nullptr;
        return 0;
    }
    openFn = open;
    closeFn = close;
    readFn = read;
    seekFn = seek;
    tellFn = tell;
    return 1;
}

int haveFileCallbacks() { return openFn && closeFn && readFn && seekFn && tellFn ? 1 : 0; }

ModuleFile* openModuleFile(const char* name) {
    if (!haveFileCallbacks()) return nullptr;
    ModuleFile* file = static_cast<ModuleFile*>(std::calloc(1, sizeof(ModuleFile)));
    if (!file) return nullptr;
    file->handle = openFn(name);
    if (!file->handle) {
        std::free(file);
        return nullptr;
    }
    return file;
}

void closeModuleFile(ModuleFile* file) {
    if (!file) return;
    if (closeFn) closeFn(file->handle);
    std::free(file);
}

int readModuleFile(void* destination, int length, ModuleFile* file) {
    if (!file || !readFn) return 0;
    return readFn(destination, length, file->handle);
}

void seekModuleFile(ModuleFile* file, int offset, signed char whence) {
    if (!file || !seekFn) return;
    seekFn(file->handle, offset, whence);
}

int tellModuleFile(ModuleFile* file) {
    if (!file || !tellFn) return 0;
    return tellFn(file->handle);
}

int setEmbeddedModule(const unsigned char* data, unsigned long size) {
    if (!data || size > 0x7FFFFFFFul) {
        embeddedData = nullptr;
        embeddedSize = 0;
        return 0;
    }
    embeddedData = data;
    embeddedSize = static_cast<int32_t>(size);
    return 1;
}

void* embeddedOpen(const char* /*name*/) {
    // The name is ignored: there is exactly one embedded module.
    if (!embeddedData) return nullptr;
    EmbeddedFile* file = static_cast<EmbeddedFile*>(std::calloc(1, sizeof(EmbeddedFile)));
    if (!file) return nullptr;
    file->size = embeddedSize;
    file->position = 0;
    file->data = embeddedData;
    return file;
}

void embeddedClose(void* handle) { std::free(handle); }

int embeddedRead(void* destination, int length, void* handle) {
    EmbeddedFile* file = static_cast<EmbeddedFile*>(handle);
    if (!file || !destination || length <= 0) return 0;
    // 64-bit sum: position + length must not overflow for large requests.
    if (int64_t(file->position) + length >= file->size) length = file->size - file->position;
    if (length <= 0) return 0;
    std::memcpy(destination, file->data + file->position, static_cast<size_t>(length));
    file->position += length;
    return length;
}

void embeddedSeek(void* handle, int offset, signed char whence) {
    EmbeddedFile* file = static_cast<EmbeddedFile*>(handle);
    if (!file) return;
    int64_t position = file->position;
    if (whence == 0) position = offset;
    else if (whence == 1) position = int64_t(file->position) + offset;
    else if (whence == 2) position = int64_t(file->size) + offset;
    if (position > file->size) position = file->size;
    if (position < 0) position = 0;
    file->position = static_cast<int32_t>(position);
}

int embeddedTell(void* handle) {
    EmbeddedFile* file = static_cast<EmbeddedFile*>(handle);
    return file ? file->position : 0;
}
