#include "png_writer.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const int32_t DEFLATE_WINDOW = 32768;
const int32_t DEFLATE_MIN_MATCH = 3;
const int32_t DEFLATE_MAX_MATCH = 258;
const int32_t LZ_HASH_BITS = 15;

// Base values and extra bits of the deflate length codes 257..285 and the
// distance codes 0..29 (RFC 1951, 3.2.5).
const uint16_t LENGTH_BASE[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,
                                  15, 17, 19, 23, 27, 31, 35, 43, 51,  59,
                                  67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t LENGTH_EXTRA[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t DIST_BASE[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t DIST_EXTRA[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

struct BitWriter {
    uint8_t *out;
    size_t pos;
    size_t capacity;
    uint32_t bits;
    int32_t bit_count;
};

// Appends the n low bits of value, least significant first. The caller sized
// the buffer for the worst case, so nothing is ever cut.
void put_bits(BitWriter *w, uint32_t value, int32_t n)
{
    w->bits |= value << w->bit_count;
    w->bit_count += n;
    while (w->bit_count >= 8) {
        if (w->pos < w->capacity) w->out[w->pos++] = (uint8_t)w->bits;
        w->bits >>= 8;
        w->bit_count -= 8;
    }
}

// Appends a Huffman code, which deflate stores most significant bit first.
void put_code(BitWriter *w, uint32_t code, int32_t length)
{
    uint32_t reversed = 0;
    for (int32_t i = 0; i < length; ++i) reversed |= ((code >> i) & 1u) << (length - 1 - i);
    put_bits(w, reversed, length);
}

// Appends a literal/length symbol (0..287) in the fixed Huffman code.
void put_literal_length_symbol(BitWriter *w, uint32_t symbol)
{
    if (symbol <= 143) put_code(w, 0x30 + symbol, 8);
    else if (symbol <= 255) put_code(w, 0x190 + (symbol - 144), 9);
    else if (symbol <= 279) put_code(w, symbol - 256, 7);
    else put_code(w, 0xC0 + (symbol - 280), 8);
}

// Appends a back reference: length 3..258, distance 1..32768.
void put_match(BitWriter *w, uint32_t length, uint32_t distance)
{
    int32_t l = 28;
    while (LENGTH_BASE[l] > length) --l;
    put_literal_length_symbol(w, 257 + (uint32_t)l);
    put_bits(w, length - LENGTH_BASE[l], LENGTH_EXTRA[l]);
    int32_t d = 29;
    while (DIST_BASE[d] > distance) --d;
    put_code(w, (uint32_t)d, 5);
    put_bits(w, distance - DIST_BASE[d], DIST_EXTRA[d]);
}

// Hash of the three bytes at p, LZ_HASH_BITS wide.
uint32_t hash3(const uint8_t *p)
{
    uint32_t v = (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16);
    return (v * 2654435761u) >> (32 - LZ_HASH_BITS);
}

// One final fixed-Huffman block holding all of data; greedy matching against
// the most recent position with the same three-byte hash.
void deflate_fixed(BitWriter *w, const uint8_t *data, size_t size, int32_t *head)
{
    for (size_t i = 0; i < ((size_t)1 << LZ_HASH_BITS); ++i) head[i] = -1;
    put_bits(w, 1, 1);  // final block
    put_bits(w, 1, 2);  // fixed Huffman codes
    size_t i = 0;
    while (i < size) {
        uint32_t best = 0;
        size_t distance = 0;
        if (i + DEFLATE_MIN_MATCH <= size) {
            uint32_t h = hash3(data + i);
            int32_t candidate = head[h];
            head[h] = (int32_t)i;
            if (candidate >= 0 && i - (size_t)candidate <= DEFLATE_WINDOW) {
                size_t limit = size - i < (size_t)DEFLATE_MAX_MATCH ? size - i : (size_t)DEFLATE_MAX_MATCH;
                while (best < limit && data[(size_t)candidate + best] == data[i + best]) ++best;
                distance = i - (size_t)candidate;
            }
        }
        if (best >= DEFLATE_MIN_MATCH) {
            put_match(w, best, (uint32_t)distance);
            for (size_t k = i + 1; k < i + best && k + DEFLATE_MIN_MATCH <= size; ++k)
                head[hash3(data + k)] = (int32_t)k;
            i += best;
        } else {
            put_literal_length_symbol(w, data[i]);
            ++i;
        }
    }
    put_literal_length_symbol(w, 256);  // end of block
    if (w->bit_count > 0) put_bits(w, 0, 8 - w->bit_count);
}

// The PNG chunk CRC (CRC-32, reflected 0xEDB88320) of crc extended by n bytes.
uint32_t crc32_update(uint32_t crc, const uint8_t *p, size_t n)
{
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int32_t k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// The zlib stream checksum of n bytes.
uint32_t adler32(const uint8_t *p, size_t n)
{
    uint32_t a = 1, b = 0;
    for (size_t i = 0; i < n; ++i) {
        a = (a + p[i]) % 65521u;
        b = (b + a) % 65521u;
    }
    return (b << 16) | a;
}

// Writes v big-endian into four bytes.
void store_be32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)(v >> 24);
    p[1] = (uint8_t)(v >> 16);
    p[2] = (uint8_t)(v >> 8);
    p[3] = (uint8_t)v;
}

// Writes one PNG chunk (length, type, data, CRC); 1 when all was written.
int32_t write_chunk(FILE *file, const char *type, const uint8_t *data, size_t size)
{
    uint8_t header[8];
    store_be32(header, (uint32_t)size);
    memcpy(header + 4, type, 4);
    uint32_t crc = crc32_update(0, header + 4, 4);
    crc = crc32_update(crc, data, size);
    uint8_t trailer[4];
    store_be32(trailer, crc);
    return fwrite(header, 1, 8, file) == 8 && (size == 0 || fwrite(data, 1, size, file) == size) &&
           fwrite(trailer, 1, 4, file) == 4;
}

// Sum of the bytes taken as signed values' magnitudes: smaller compresses better.
int32_t filter_cost(const uint8_t *row, size_t n)
{
    int32_t cost = 0;
    for (size_t i = 0; i < n; ++i) cost += row[i] < 128 ? row[i] : 256 - row[i];
    return cost;
}

// Filters each row with None, Sub or Up, whichever leaves the smallest sum of
// absolute values (the usual heuristic); writes row_bytes + 1 bytes a row.
void filter_rows(const uint8_t *rgb, int32_t width, int32_t height, uint8_t *out,
                 uint8_t *scratch)
{
    size_t row_bytes = (size_t)width * 3;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t *row = rgb + (size_t)y * row_bytes;
        const uint8_t *above = y > 0 ? row - row_bytes : NULL;
        uint8_t *dest = out + (size_t)y * (row_bytes + 1);
        uint8_t *sub = scratch;
        uint8_t *up = scratch + row_bytes;
        for (size_t i = 0; i < row_bytes; ++i) {
            sub[i] = (uint8_t)(row[i] - (i >= 3 ? row[i - 3] : 0));
            up[i] = (uint8_t)(row[i] - (above ? above[i] : 0));
        }
        int32_t cost_none = filter_cost(row, row_bytes);
        int32_t cost_sub = filter_cost(sub, row_bytes);
        int32_t cost_up = filter_cost(up, row_bytes);
        const uint8_t *chosen = row;
        uint8_t type = 0;
        if (cost_sub < cost_none && cost_sub <= cost_up) {
            chosen = sub;
            type = 1;
        } else if (cost_up < cost_none) {
            chosen = up;
            type = 2;
        }
        dest[0] = type;
        memcpy(dest + 1, chosen, row_bytes);
    }
}

}  // namespace

int32_t png_write_rgb(const char *path, const uint8_t *rgb, int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0) return 0;
    size_t row_bytes = (size_t)width * 3;
    size_t raw_size = (row_bytes + 1) * (size_t)height;
    size_t capacity = raw_size + raw_size / 8 + 64;  // 9 bits per literal at worst
    uint8_t *raw = (uint8_t *)malloc(raw_size);
    uint8_t *scratch = (uint8_t *)malloc(row_bytes * 2);
    uint8_t *zlib = (uint8_t *)malloc(capacity + 6);
    int32_t *head = (int32_t *)malloc(sizeof(int32_t) << LZ_HASH_BITS);
    int32_t ok = 0;
    FILE *file = NULL;
    if (raw && scratch && zlib && head) {
        filter_rows(rgb, width, height, raw, scratch);
        zlib[0] = 0x78;  // deflate, 32 KiB window
        zlib[1] = 0x01;  // no dictionary, fastest level; (0x7801 % 31) == 0
        BitWriter w = {zlib + 2, 0, capacity, 0, 0};
        deflate_fixed(&w, raw, raw_size, head);
        size_t zlib_size = 2 + w.pos;
        store_be32(zlib + zlib_size, adler32(raw, raw_size));
        zlib_size += 4;

        uint8_t ihdr[13];
        store_be32(ihdr, (uint32_t)width);
        store_be32(ihdr + 4, (uint32_t)height);
        ihdr[8] = 8;   // bits per sample
        ihdr[9] = 2;   // RGB
        ihdr[10] = 0;  // deflate
        ihdr[11] = 0;  // adaptive filtering
        ihdr[12] = 0;  // not interlaced
        static const uint8_t SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        file = fopen(path, "wb");
        ok = file && fwrite(SIGNATURE, 1, 8, file) == 8 && write_chunk(file, "IHDR", ihdr, 13) &&
             write_chunk(file, "IDAT", zlib, zlib_size) && write_chunk(file, "IEND", NULL, 0);
    }
    if (file && fclose(file) != 0) ok = 0;
    free(head);
    free(zlib);
    free(scratch);
    free(raw);
    return ok;
}
