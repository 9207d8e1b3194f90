/*
 * Zarni Compress: file access, SNES address mapping, decompression and
 * recompression of SNES game data, ROM space services and tile graphics
 * conversions, behind a flat C interface.
 *
 * Conventions that hold for every export:
 *  - Arguments and results are 32-bit integers or pointers.
 *  - Success is 1 or a count; failure is 0. There are no error codes, no
 *    exceptions and no messages across this interface.
 *  - The library keeps one open file for the whole process. File services,
 *    decoders and ROM space services act on it; encoders and graphics
 *    conversions work on memory only.
 *  - Every file position is a PC file offset: a byte position in the file as
 *    it lies on disk, a 512-byte copier header included where there is one.
 *  - Calls are not thread-safe; make one call at a time. The graphics
 *    conversions are pure and may be called from any thread.
 *  - A thread that has encoded or decoded keeps 64 KiB of work memory for
 *    each of the two until it ends, and one that has encoded up to 256 KiB
 *    more, so that a call allocates only what its input needs.
 *  - A result may exceed the caller's maximum size: only what fits is copied
 *    and the full size is still returned.
 */
#ifndef ZARNI_COMPRESS_H
#define ZARNI_COMPRESS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define ZARNI_CALL __stdcall
#else
#define ZARNI_CALL
#endif

#if defined(_WIN32)
#if defined(ZARNI_BUILDING)
#define ZARNI_API __declspec(dllexport)
#else
#define ZARNI_API __declspec(dllimport)
#endif
#else
#define ZARNI_API __attribute__((visibility("default")))
#endif

/* Version 1.12 as a whole number (version x 100). */
#define ZARNI_VERSION_NUMBER 112

/* ---------------------------------------------------------------------------
 * Module frame and file access
 * ------------------------------------------------------------------------- */

/* Returns 112. */
ZARNI_API uint32_t ZARNI_CALL ZarniVersion(void);

/* Opens fileName (zero-terminated 8-bit path) as the module's one open file.
 * On Windows the name is in the program's ANSI code page (GetACP: the
 * system's code page, or UTF-8 for a program whose manifest asks for it), so
 * every name that code page can spell opens, spaces and non-ASCII letters
 * included; elsewhere its bytes go to the system unchanged (UTF-8 on usual
 * Linux systems).
 * Any file already open is closed first, even when this call then fails.
 * fileMode: 0 existing file read only, 1 existing file read/write,
 *           2 created or emptied, read/write. Any other value (unsigned
 *           comparison) is refused.
 * Returns 1 when the file is open, 0 otherwise (no file is open then). */
ZARNI_API uint32_t ZARNI_CALL ZarniOpenFile(const char* fileName, uint32_t fileMode);

/* Closes the open file, flushing buffered writes. Returns 1, or 0 when no
 * file was open. The open file is also closed when the library is unloaded
 * or the process exits. */
ZARNI_API uint32_t ZARNI_CALL ZarniCloseFile(void);

/* Returns the current length of the open file in bytes, 0 when none is open. */
ZARNI_API uint32_t ZARNI_CALL ZarniGetFileSize(void);

/* Reads size bytes into destination, from fileOffset when seek is non-zero,
 * else from the current position. Returns 1 even when the end of the file
 * cuts the read short (unread bytes of destination keep their contents);
 * 0 when no file is open or destination is null. */
ZARNI_API uint32_t ZARNI_CALL ZarniReadFile(void* destination, uint32_t size, uint32_t fileOffset,
                                            int32_t seek);

/* Writes size bytes from source, at fileOffset when seek is non-zero, else at
 * the current position. Returns 1 (short writes are not reported); 0 when no
 * file is open, source is null or the file was opened read only (mode 0). */
ZARNI_API uint32_t ZARNI_CALL ZarniWriteFile(const void* source, uint32_t size, uint32_t fileOffset,
                                             int32_t seek);

/* ---------------------------------------------------------------------------
 * SNES address mapping (pure; no open file needed)
 * mappingKind: 1 LoROM, 2 HiROM, 4 extended HiROM; any other kind gives 0.
 * headerFlag: non-zero when a 512-byte copier header precedes the ROM data.
 * Arithmetic is unsigned 32-bit and wraps; nothing is range-checked.
 * ------------------------------------------------------------------------- */

/* SNES bus address ($BB:OOOO as 0xBBOOOO) to PC file offset. */
ZARNI_API uint32_t ZARNI_CALL ZarniSNEStoPC(uint32_t snesAddress, uint32_t mappingKind,
                                            int32_t headerFlag);

/* PC file offset to SNES bus address. */
ZARNI_API uint32_t ZARNI_CALL ZarniPCtoSNES(uint32_t pcOffset, uint32_t mappingKind,
                                            int32_t headerFlag);

/* ---------------------------------------------------------------------------
 * Decompression and recompression
 * Formats: 0 and 1 (LZ; copy positions low/high byte first; formatFlag adds
 * the 4-to-3 bit-plane tile packing), 2, 3, 4 (LZ families), 100 and 101
 * (run length, with and without end marker). No block exceeds 65,536 bytes.
 * ------------------------------------------------------------------------- */

/* Decodes the stream at fileOffset of the open file.
 * destination: at least maxSize bytes, or null to only measure.
 * endOffsetOut: null, or receives the offset just past the last byte read.
 * Returns the decoded length (which may exceed maxSize; only maxSize bytes are
 * copied). A stream that breaks a limit ends early and returns what was
 * produced. Returns 0, without writing endOffsetOut, when no file is open,
 * memory is short or the format is unknown. Reading stops at the end of the
 * file. Safe on any bytes. */
ZARNI_API uint32_t ZARNI_CALL ZarniDecompress(void* destination, uint32_t fileOffset,
                                              uint32_t maxSize, uint32_t format,
                                              uint32_t formatFlag, uint32_t* endOffsetOut);

/* Decodes the stream at source[sourceOffset] exactly as ZarniDecompress does
 * at a file offset (same formats, results, limits and destination rules),
 * with source[0..sourceSize) in place of the open file: decoding stops at
 * sourceSize as it stops at the end of a file. endOffsetOut receives an offset
 * within source. Touches no module state and needs no open file; safe on any
 * bytes and from any thread. Returns 0, without writing endOffsetOut, when
 * source is null, memory is short or the format is unknown. */
ZARNI_API uint32_t ZARNI_CALL ZarniDecompressMemory(void* destination, const void* source,
                                                    uint32_t sourceSize, uint32_t sourceOffset,
                                                    uint32_t maxSize, uint32_t format,
                                                    uint32_t formatFlag, uint32_t* endOffsetOut);

/* Encodes size bytes of source.
 * destination: at least maxSize bytes, or null to only measure.
 * Formats 0 and 1 with formatFlag set pack source in place first (the
 * caller's buffer keeps the packed bytes).
 * Returns the length of the whole stream including its end marker, which may
 * exceed maxSize (only maxSize bytes are copied); 0 when source is null, the
 * format is unknown, the input is too short for the format (below 2 bytes for
 * the LZ formats), larger than 65,536 bytes, or its stream would pass 65,536
 * bytes. */
ZARNI_API uint32_t ZARNI_CALL ZarniRecompress(void* source, void* destination, uint32_t size,
                                              uint32_t maxSize, uint32_t format,
                                              uint32_t formatFlag);

/* As ZarniRecompress, with the same arguments, results and failures, but in
 * format 4 the stream is a shortest possible one for the input: no sequence
 * of commands that ZarniDecompress accepts, end marker included, is shorter.
 * It is therefore never longer than ZarniRecompress's stream; it returns 0
 * for the same bad arguments, and for an input whose shortest stream exceeds
 * 65,536 bytes (ZarniRecompress may fail where this fits). Its bytes may
 * differ from ZarniRecompress's; among equally short streams it prefers the
 * longest fills and copies, which a second format 4 pass over the stream
 * compresses better. Slower than ZarniRecompress (some tens of milliseconds
 * for 64 KiB) and needs about 11 MiB of work memory for 64 KiB.
 * Every other format returns exactly what ZarniRecompress returns. */
ZARNI_API uint32_t ZARNI_CALL ZarniRecompressSmallest(void* source, void* destination,
                                                      uint32_t size, uint32_t maxSize,
                                                      uint32_t format, uint32_t formatFlag);

/* ---------------------------------------------------------------------------
 * ROM space services (act on the open file; header size H = file size & 0x200)
 * ------------------------------------------------------------------------- */

/* Writes size zero bytes at fileOffset (growing the file if needed).
 * Returns 1; 0 when no file is open, size is 0, the file is read only, the
 * area would reach past 4 GiB, or the system refused the write. When the file
 * cannot grow, it is put back to its old length and content; errno then
 * tells why (ENOSPC, EFBIG, ...). */
ZARNI_API uint32_t ZARNI_CALL ZarniEraseArea(uint32_t fileOffset, uint32_t size);

/* Grows the ROM to megabits x 0x20000 bytes (plus H) by appending zero bytes,
 * then writes the cartridge header's size byte (8 up to 3 Mbit, 9 up to 7,
 * 10 up to 9, 11 up to 20, 12 above) at H + 0x7FD7 and at H + 0xFFD7 wherever
 * the checksum pair at +0x1C/+0x1E of that header ORs to 0xFFFF. Nothing
 * else changes; the checksum is not recomputed.
 * Returns the ROM size in megabits afterwards; when the ROM is already as
 * large, the current size (integer megabits) with nothing written, which also
 * works on a read-only file. 0 when no file is open, megabits > 32, growth is
 * needed on a read-only file, or the file could not be grown; the file then
 * keeps its old length and content, and errno tells why. */
ZARNI_API uint32_t ZARNI_CALL ZarniExpandROM(uint32_t megabits);

/* Returns the lowest file offset in [startOffset, endOffset) where size zero
 * bytes begin; 0 when there is none or no file is open. endOffset is cut to
 * the file size; a startOffset of 0 counts as 1.
 * mappingKind 1 keeps the run inside one 32 KiB bank, kinds 2 and 4 inside
 * one 64 KiB bank (banks counted from H, and the search starts at H at the
 * earliest); 0 sets no limit; any other kind cuts the range into 64 KiB
 * pieces counted from startOffset. Works on a read-only file; allocates
 * nothing. */
ZARNI_API uint32_t ZARNI_CALL ZarniVerifyFreeSpace(uint32_t startOffset, uint32_t endOffset,
                                                   uint32_t size, uint32_t mappingKind);

/* ---------------------------------------------------------------------------
 * Tile graphics conversions (pure functions)
 * ------------------------------------------------------------------------- */

/* Planar tiles (8 x bitsPerPixel bytes each) to pixel maps (64 bytes each,
 * one colour index per pixel, row by row). Planes 2k and 2k + 1 of row r lie
 * at bytes 16k + 2r and 16k + 2r + 1 (the SNES 2, 4 and 8 bit layouts); the
 * last plane of an odd depth lies at byte 8 x (depth - 1) + r, one row per
 * byte (depth 1: row r at byte r). Bit 7 is the leftmost pixel.
 * Returns 1; 0 when a pointer is null, the pointers are equal or the depth is
 * not 1 to 8. */
ZARNI_API uint32_t ZARNI_CALL ZarniCreatePixelMap(const void* source, void* destination,
                                                  uint32_t numTiles, uint32_t bitsPerPixel);

/* Pixel maps to planar tiles; the exact reverse (bits of a pixel at or above
 * the depth are dropped). Same results. */
ZARNI_API uint32_t ZARNI_CALL ZarniCreateBppMap(const void* source, void* destination,
                                                uint32_t numTiles, uint32_t bitsPerPixel);

/* SNES 15-bit colour (red bits 0-4) to 0x00RRGGBB. */
ZARNI_API uint32_t ZARNI_CALL ZarniSNEStoPCRGB(uint32_t snesColour);

/* 0x00RRGGBB to SNES 15-bit colour, rounding half up, saturating at 31. */
ZARNI_API uint32_t ZARNI_CALL ZarniPCtoSNESRGB(uint32_t pcColour);

/* Draws one 8 x 8 tile of pixelMap (64 bytes a tile) into destination
 * (width x height PC colours, row by row) at (displayX, displayY), clipped to
 * the destination, with the tile entry's flips, palette and priority and the
 * render option bits:
 *   0x1 / 0x2      invert a transparent / drawn pixel (XOR 0xFFFFFF)
 *   0x4 / 0x8, 0x10 / 0x20, 0x40 / 0x80
 *                  set red, green, blue to 0xFF on a transparent / drawn pixel
 *   0x100          halve: average with the destination, or with 0x400/0x800
 *                  halve the tile colour first
 *   0x200          darken: halve the tile colour
 *   0x400, 0x800   add (capped at 0xF8), subtract (floored at 0); add wins
 *   0x1000         allow priorities above 0; 0x2000, 0x4000, 0x8000 allow
 *                  priority 1, 2, 3 as well
 *   0x10000        colour index 0 is drawn instead of transparent
 *   0x20000        the entry is a sprite entry
 *   0x40000        sprites of palettes 12-15 halve as with 0x100
 * Background entries: tile bits 0-9, palette bits 10-12, priority bit 13;
 * sprite entries (option 0x20000): tile bits 0-8, palette 8 + bits 9-11,
 * priority bits 12-13; bit 14 flips horizontally, bit 15 vertically.
 * The palette holds 16 x palette + the highest colour index entries at least
 * (128 for background tiles of 16 colours, 256 for sprites).
 * Returns 1 when drawn; 0 when refused, with nothing written (null
 * destination, pixel map or palette, tile wholly outside, width or height not
 * positive, priority not allowed by the options). */
ZARNI_API uint32_t ZARNI_CALL ZarniRender8x8(uint32_t* destination, int32_t width, int32_t height,
                                             int32_t displayX, int32_t displayY,
                                             const uint8_t* pixelMap, const uint32_t* palette,
                                             uint32_t tileEntry, uint32_t renderOptions);

#ifdef __cplusplus
}
#endif

#endif /* ZARNI_COMPRESS_H */
