/* The one build of the PNG and JPEG decoder, for the native and the web
 * builds alike. Every block it asks for goes through a ceiling of ours, so a
 * file that inflates far beyond its picture runs out of allowance instead of
 * memory. */
#include <stddef.h>
#include <stdlib.h>

#include "assets/picture_decoder.h"

static void* decoderMalloc(size_t size) {
    return size <= kDecoderBlockCeiling ? malloc(size) : NULL;
}

static void* decoderRealloc(void* block, size_t size) {
    return size <= kDecoderBlockCeiling ? realloc(block, size) : NULL;
}

#define STBI_MALLOC(size) decoderMalloc(size)
#define STBI_REALLOC(block, size) decoderRealloc(block, size)
#define STBI_FREE(block) free(block)
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_FAILURE_USERMSG
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>
