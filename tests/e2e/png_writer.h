// A small PNG writer for the end-to-end screenshots: 8-bit RGB, one IDAT chunk
// compressed with fixed-Huffman deflate and a greedy LZ77 search, which keeps
// flat window captures small without any library.
#pragma once
#include <stdint.h>

// Writes width x height pixels of rgb (3 bytes a pixel, rows top to bottom,
// no padding) to the file at path. Returns 1 on success, 0 when the sizes are
// not positive, memory runs out or the file cannot be written.
int32_t png_write_rgb(const char *path, const uint8_t *rgb, int32_t width, int32_t height);
