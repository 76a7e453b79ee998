#include "image/jpeg_source.h"

#include <csetjmp>

#include <jerror.h>

static void memoryInitSource(j_decompress_ptr) {}

static void memoryTermSource(j_decompress_ptr) {}

// Called only when the whole block has been consumed. A truncated block ends
// the picture with a synthetic end-of-image marker instead of failing, so the
// rows that did arrive are still shown.
static boolean memoryFillInputBuffer(j_decompress_ptr decompressor) {
    MemorySource* source = reinterpret_cast<MemorySource*>(decompressor->src);
    // By name, not number: the library's message table is numbered differently
    // from one release to the next ("Premature end of JPEG file").
    decompressor->err->msg_code = JWRN_JPEG_EOF;
    decompressor->err->emit_message(reinterpret_cast<j_common_ptr>(decompressor), -1);
    source->buffer[0] = 0xFF;
    source->buffer[1] = JPEG_EOI;
    source->manager.next_input_byte = source->buffer;
    source->manager.bytes_in_buffer = 2;
    return TRUE;
}

static void memorySkipInputData(j_decompress_ptr decompressor, long count) {
    if (count <= 0) return;
    jpeg_source_mgr* source = decompressor->src;
    // Bounded by the block: every refill past its end serves two bytes.
    while (static_cast<unsigned long>(count) > source->bytes_in_buffer) {
        count -= static_cast<long>(source->bytes_in_buffer);
        source->fill_input_buffer(decompressor);
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= static_cast<size_t>(count);
}

void jpegMemorySource(j_decompress_ptr decompressor, const unsigned char* data, size_t size) {
    // A source record left by another kind of manager (the stdio one) is
    // smaller than ours: only a record we made ourselves is reused.
    if (decompressor->src == nullptr || decompressor->src->init_source != memoryInitSource) {
        decompressor->src = static_cast<jpeg_source_mgr*>(decompressor->mem->alloc_small(
            reinterpret_cast<j_common_ptr>(decompressor), JPOOL_PERMANENT, sizeof(MemorySource)));
    }
    jpeg_source_mgr* source = decompressor->src;
    source->init_source = memoryInitSource;
    source->fill_input_buffer = memoryFillInputBuffer;
    source->skip_input_data = memorySkipInputData;
    source->resync_to_restart = jpeg_resync_to_restart;
    source->term_source = memoryTermSource;
    source->next_input_byte = data;
    source->bytes_in_buffer = size;
}

void jpegErrorExit(j_common_ptr info) {
    JpegErrorManager* errors = reinterpret_cast<JpegErrorManager*>(info->err);
    info->err->output_message(info);
    longjmp(errors->jumpPoint, 1);
}
