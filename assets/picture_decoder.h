#pragma once

/* The decoder's ceiling on any one block it allocates: a 64-megapixel picture
 * of 16-bit RGBA with room to spare. Shared by the C build of the decoder and
 * the reader. */
#define kDecoderBlockCeiling ((size_t)600 << 20)
