// SPDX-License-Identifier: GPL-3.0-or-later
// Why an image of a run failed, and the one text the front ends show for each reason.
#pragma once

#include "app/compression_client.h"
#include "image/image_error.h"

#include <cstdint>
#include <string>

namespace pictavo {

enum class FailureReason {
    None,
    // The source could not be decoded
    NotAnImage,
    UnsupportedKind,
    CutOff,
    TooManyPixels,
    CorruptData,
    OutOfMemory,
    // The source could not be read
    NotAFile,
    SourceTooLarge,
    SourceUnreadable,
    // The output could not be written
    WritePermission,
    DiskFull,
    WriteFailed,
    SameOutput, // another image of the run writes the same output file
    // The tree
    PathTooLong,
    FolderUnreadable,
    // An entry of a list of images to process, rather than a walk's
    ListedMissing,
    ListedOutside,
    ListedHidden,
    ListedNotAnImage,
    // The steps after the image was written
    MetadataFailed,
    DatesFailed,
    ServiceFailed, // with the service's HTTP status, 0 when no answer arrived
    OverSizeLimit, // written at its smallest, still larger than the size limit
};

// A failure as the run records it.
struct Failure {
    FailureReason reason = FailureReason::None;
    int service_status = 0;
    CompressionFailure service_failure = CompressionFailure::None;
    std::int64_t size_limit = 0; // OverSizeLimit: the limit in bytes
};

// The reason for an image-library error.
FailureReason failure_reason_of(ImageError error);

// A short English text for a failure, without a full stop: "not an image", "the output
// folder is not writable", "compression service refused the key (HTTP 401)".
std::string failure_text(const Failure& failure);
inline std::string failure_text(FailureReason reason) { return failure_text(Failure{reason}); }

// A stable name for a reason, for reports that programs read: "not_an_image", "cut_off".
const char* failure_code(FailureReason reason);

} // namespace pictavo
