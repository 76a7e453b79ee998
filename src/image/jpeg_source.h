// The JPEG library's glue: a source manager that serves a block of memory and
// the fatal-error exit that returns control to the decoder's jump point.
//
// Owns nothing of its own: the source record lives in the decompressor's
// permanent pool and the error record on the decoder's stack. Main thread only
// (the decoder that uses them runs there). Not for encoding: these are
// decompressor hooks only.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

// The library's source-manager record followed by the two bytes of the
// end-of-image marker served once the block is used up.
struct MemorySource {
    jpeg_source_mgr manager;
    JOCTET buffer[2];
};

// The library's standard error manager with the jump point that
// jpegErrorExit returns to. The manager must stay the first member: the library
// hands back a pointer to it and jpegErrorExit casts it to the whole record.
struct JpegErrorManager {
    jpeg_error_mgr manager;
    jmp_buf jumpPoint;
};

// Installs a MemorySource over data[0 .. size) on the decompressor. The block
// is not copied and must outlive the decoding.
void jpegMemorySource(j_decompress_ptr decompressor, const unsigned char* data, size_t size);

// The error_exit of JpegErrorManager: prints the library's message, then
// longjmps to the jump point with the value 1.
void jpegErrorExit(j_common_ptr info);
