// SPDX-License-Identifier: GPL-3.0-or-later
// Why a load or a save of an image failed. The batch engine turns these into the texts the
// user reads; the image library itself never shows one.
#pragma once

namespace pictavo {

enum class ImageError {
    None,
    // Reading the source
    NotAFile,       // a folder, FIFO, socket or device: never opened as an image
    FileTooLarge,   // larger than any image this program reads; refused before reading
    ReadFailed,     // the file could not be opened or read
    // Decoding
    NotAnImage,     // no decoder recognises the data
    Unsupported,    // a recognised format in a kind this program does not decode
    CutOff,         // the data ends before the image does
    TooManyPixels,  // the declared size is beyond the pixel limit; refused before allocating
    Corrupt,        // the data is damaged
    OutOfMemory,
    // Writing the output
    Refused,        // nothing to write, or no encoder takes this image at this depth
    WritePermission,
    DiskFull,
    WriteFailed,
};

} // namespace pictavo
