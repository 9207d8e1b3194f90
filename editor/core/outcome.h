// What an operation of the core reports, and every text the user reads
// about it. The windows fill in the one argument a text has (a file name or
// a number) and show it; no other place spells a message.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace korvale {

enum class Status {
    Ok,
    Cancelled,       // an empty answer, or nothing to do: no message
    LibraryMissing,  // detail: the binding's message naming the library
    CannotOpen,      // detail: the file name
    CannotRead,      // detail: the file name (too short for what was read, or a track
                     // offset beyond its end; value: that offset)
    NotARomImage,    // size modulo 1024 is neither 512 nor 0; detail: file name
    TooSmall,        // the tables lie beyond the end of the file; detail: file name
    ForeignTitle,    // the internal title is not this game's; nothing changed yet
    BadTrackNumber,  // 24 or more; value: the number
    BadSaveNumber,   // a typed save number of 0x18 or more; value: the number
    BadOffset,       // a typed offset beyond any image; value: the offset
    CompressFailed,  // a compression gave 0 or more than 16,384 bytes
    NoSpace,         // no room in the save window, or the file is read only
    CannotWrite,     // detail: the file name
    BadTrackFile,    // too short, or its theme byte is 16 or more; detail: file name
    TileSetMissing,  // the tile sheet could not be loaded; detail: the loader's message
    FileFailed,      // a write or copy failed; detail: the file name, reason: why
    ChangedOnDisk,   // the image changed since it was read; nothing written yet
};

struct Outcome {
    Outcome() = default;
    Outcome(Status s, std::string d = {}, uint32_t v = 0, std::string r = {})
        : status(s), detail(std::move(d)), value(v), reason(std::move(r)) {}
    Status status = Status::Ok;
    std::string detail;
    uint32_t value = 0;  // saveTrack: the file offset written
    std::string reason;  // FileFailed: why, in words for the user
    bool ok() const { return status == Status::Ok; }
};

// How a message's one argument is filled in.
enum class MessageArg {
    None,
    Detail,         // the detail as it stands (the library's message, a loader's message)
    File,           // the detail, shown as a file name
    Decimal,        // the value in decimal
    Hex,            // the value in upper-case hexadecimal
    Hex2,           // the value as HexPad(value, 2)
    FileAndReason,  // "%1" the detail as a file name, "%2" the reason
};

struct MessageText {
    const char* text;  // "%1" marks the argument; nullptr: nothing to show
    MessageArg arg;
};

constexpr MessageText messageFor(Status status) {
    switch (status) {
        case Status::Ok:
        case Status::Cancelled:
            return {nullptr, MessageArg::None};
        case Status::LibraryMissing:
        case Status::TileSetMissing:
            return {"%1", MessageArg::Detail};
        case Status::CannotOpen:
            return {"Unable to open the file %1.", MessageArg::File};
        case Status::CannotRead:
            return {"Unable to read the file %1: it ends before the data.", MessageArg::File};
        case Status::NotARomImage:
            return {
                "The file %1 is not a ROM image: its size is not a whole number of "
                "kilobytes, with or without a 512-byte copier header.",
                MessageArg::File};
        case Status::TooSmall:
            return {"The file %1 is too small to hold the game's track tables.", MessageArg::File};
        case Status::ForeignTitle:
            return {"This file does not look like a Super Mario Kart ROM image. Open it anyway?",
                    MessageArg::None};
        case Status::BadTrackNumber:
            return {"There is no track number %1: track numbers run from 0 to 23.",
                    MessageArg::Decimal};
        case Status::BadSaveNumber:
            return {
                "There is no track number %1: track numbers run from 00 to 17 "
                "(hexadecimal).",
                MessageArg::Hex2};
        case Status::BadOffset:
            return {"The offset %1 lies beyond any ROM image.", MessageArg::Hex};
        case Status::CompressFailed:
            return {"The track could not be compressed, so nothing was saved.", MessageArg::None};
        case Status::NoSpace:
            return {
                "Unable to save file, either there is no more space in the ROM\r\nor the "
                "file is Read-Only.",
                MessageArg::None};
        case Status::CannotWrite:
            return {"Unable to write the file %1.", MessageArg::File};
        case Status::FileFailed:
            return {"Unable to write the file %1: %2. The file was left as it was.",
                    MessageArg::FileAndReason};
        case Status::ChangedOnDisk:
            return {
                "The file %1 has changed on disk since it was opened, perhaps by another "
                "program. Save into it anyway?",
                MessageArg::File};
        case Status::BadTrackFile:
            return {
                "The file %1 is not a track file: it must hold 16,385 bytes, the last one "
                "a tile set from 0 to 7.",
                MessageArg::File};
    }
    return {nullptr, MessageArg::None};
}

// Texts that belong to no failure.
namespace messages {
constexpr const char* kUnsavedQuestion =
    "Would you like to save changes: Track->Export/Save to ROM";
constexpr const char* kTrackSavedToRom = "Track saved succesfully!";
constexpr const char* kTrackFileSaved = "Track Saved";
constexpr const char* kLevelTableSaved = "Track List Saved!";
constexpr const char* kLevelTableNotWritten =
    "Could not write to file, check that it is not Read-Only.";
// "%1": the answer as typed, trimmed.
constexpr const char* kNotATrackNumber =
    "\"%1\" is not a track number: track numbers run from 0 to 23.";
constexpr const char* kTrackNumberPrompt = "Track Number";
constexpr const char* kSavePrompt = "Save To Track Number (Hex)";
constexpr const char* kOffsetPrompt = "Offset";
// "%1": the ROM image's file name; then checksum and complement in hexadecimal.
constexpr const char* kFixChecksumQuestion =
    "Rewrite the internal checksum and its complement of %1 to match the image? Emulators "
    "warn about an image whose checksum does not match; the game itself does not check it.";
constexpr const char* kChecksumCorrect =
    "The checksum of %1 is already correct (checksum %2, complement %3). Nothing was written.";
// "%4" and "%5": the pair as it was.
constexpr const char* kChecksumFixed =
    "The checksum of %1 was fixed: checksum %2, complement %3 (they were %4 and %5).";
// "%1": a file of File > Recent ROMs.
constexpr const char* kRecentRomMissing =
    "The file %1 no longer exists. It was taken off the list of recent ROM images.";
}  // namespace messages

}  // namespace korvale
