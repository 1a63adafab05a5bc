// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/failure_reason.h"

#include "app/byte_sizes.h"

namespace pictavo {
namespace {

std::string service_text(const Failure& failure)
{
    const std::string status = " (HTTP " + std::to_string(failure.service_status) + ")";
    switch (failure.service_failure) {
    case CompressionFailure::UploadUnreadable:
        return "compression service: the output could not be read for upload";
    case CompressionFailure::NoAnswer:
        return "compression service: no answer";
    case CompressionFailure::KeyRefused:
        return "compression service refused the key" + status;
    case CompressionFailure::MonthlyLimit:
        return "compression service: the key's compressions for this month are used up" + status;
    case CompressionFailure::Refused:
        return "compression service refused the image" + status;
    case CompressionFailure::AnswerTooLarge:
        return "compression service: its answer was far too large";
    case CompressionFailure::NoLocation:
        return "compression service gave no location of its own";
    case CompressionFailure::DownloadFailed:
        return failure.service_status > 0 ? "compression service: the download failed" + status
                                          : "compression service: the download failed";
    case CompressionFailure::BadDownload:
        return "compression service: the download was not an image of the uploaded kind";
    case CompressionFailure::ResultNotWritten:
        return "compression service: the compressed image could not be written";
    case CompressionFailure::None:
        break;
    }
    return "compression service failed";
}

} // namespace

FailureReason failure_reason_of(ImageError error)
{
    switch (error) {
    case ImageError::None: return FailureReason::None;
    case ImageError::NotAFile: return FailureReason::NotAFile;
    case ImageError::FileTooLarge: return FailureReason::SourceTooLarge;
    case ImageError::ReadFailed: return FailureReason::SourceUnreadable;
    case ImageError::NotAnImage: return FailureReason::NotAnImage;
    case ImageError::Unsupported: return FailureReason::UnsupportedKind;
    case ImageError::CutOff: return FailureReason::CutOff;
    case ImageError::TooManyPixels: return FailureReason::TooManyPixels;
    case ImageError::Corrupt: return FailureReason::CorruptData;
    case ImageError::OutOfMemory: return FailureReason::OutOfMemory;
    case ImageError::Refused: return FailureReason::WriteFailed;
    case ImageError::WritePermission: return FailureReason::WritePermission;
    case ImageError::DiskFull: return FailureReason::DiskFull;
    case ImageError::WriteFailed: return FailureReason::WriteFailed;
    }
    return FailureReason::CorruptData;
}

std::string failure_text(const Failure& failure)
{
    switch (failure.reason) {
    case FailureReason::None: return "done";
    case FailureReason::NotAnImage: return "not an image";
    case FailureReason::UnsupportedKind: return "an image of a kind this program cannot read";
    case FailureReason::CutOff: return "the image data is cut off";
    case FailureReason::TooManyPixels: return "the image is too large (more pixels than this program handles)";
    case FailureReason::CorruptData: return "the image data is corrupt";
    case FailureReason::OutOfMemory: return "not enough memory for the image";
    case FailureReason::NotAFile: return "not a regular file";
    case FailureReason::SourceTooLarge: return "the file is too large to be an image this program reads";
    case FailureReason::SourceUnreadable: return "the file cannot be read";
    case FailureReason::WritePermission: return "the output cannot be written: permission denied";
    case FailureReason::DiskFull: return "the output cannot be written: the disk is full";
    case FailureReason::WriteFailed: return "the output cannot be written";
    case FailureReason::SameOutput: return "another image of this run writes the same output file";
    case FailureReason::PathTooLong: return "the path is too long for this system";
    case FailureReason::FolderUnreadable: return "the folder cannot be read";
    case FailureReason::ListedMissing: return "no such file in the input folder";
    case FailureReason::ListedOutside: return "not a path below the input folder (absolute, or with ..)";
    case FailureReason::ListedHidden: return "in a hidden folder, which a run never enters";
    case FailureReason::ListedNotAnImage: return "not the name of a .jpg, .jpeg or .png file";
    case FailureReason::MetadataFailed: return "the metadata could not be copied";
    case FailureReason::DatesFailed: return "the file dates could not be copied";
    case FailureReason::ServiceFailed: return service_text(failure);
    case FailureReason::OverSizeLimit: return "could not be made smaller than " + byte_size_text(failure.size_limit);
    }
    return "failed";
}

const char* failure_code(FailureReason reason)
{
    switch (reason) {
    case FailureReason::None: return "none";
    case FailureReason::NotAnImage: return "not_an_image";
    case FailureReason::UnsupportedKind: return "unsupported_kind";
    case FailureReason::CutOff: return "cut_off";
    case FailureReason::TooManyPixels: return "too_many_pixels";
    case FailureReason::CorruptData: return "corrupt_data";
    case FailureReason::OutOfMemory: return "out_of_memory";
    case FailureReason::NotAFile: return "not_a_file";
    case FailureReason::SourceTooLarge: return "source_too_large";
    case FailureReason::SourceUnreadable: return "source_unreadable";
    case FailureReason::WritePermission: return "write_permission";
    case FailureReason::DiskFull: return "disk_full";
    case FailureReason::WriteFailed: return "write_failed";
    case FailureReason::SameOutput: return "same_output";
    case FailureReason::PathTooLong: return "path_too_long";
    case FailureReason::FolderUnreadable: return "folder_unreadable";
    case FailureReason::ListedMissing: return "listed_missing";
    case FailureReason::ListedOutside: return "listed_outside_input";
    case FailureReason::ListedHidden: return "listed_hidden";
    case FailureReason::ListedNotAnImage: return "listed_not_an_image";
    case FailureReason::MetadataFailed: return "metadata_failed";
    case FailureReason::DatesFailed: return "dates_failed";
    case FailureReason::ServiceFailed: return "service_failed";
    case FailureReason::OverSizeLimit: return "over_size_limit";
    }
    return "failed";
}

} // namespace pictavo
