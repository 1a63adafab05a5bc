// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/image_job.h"

#include "app/compression_client.h"
#include "app/folder_scan.h"
#include "app/resize_geometry.h"
#include "image/image_load.h"
#include "image/image_resize.h"
#include "image/image_save.h"
#include "sys/files.h"

#include <algorithm>

namespace pictavo {

namespace {

// The job's working images: the picture in progress and, for a moment, the cut of "Uniform".
constexpr ImageNumber WORK_IMAGE = 0;
constexpr ImageNumber CUT_IMAGE = 2;

// Applies the resize plan to the work image. A resize the library refuses leaves the image as
// it was, and the cut is then taken from the unresized image.
void apply_plan(const ResizePlan& plan)
{
    if (!plan.resize)
        return;
    image_resize(WORK_IMAGE, plan.width, plan.height);
    if (!plan.crop)
        return;
    image_grab(WORK_IMAGE, CUT_IMAGE, plan.x, plan.y, plan.crop_width, plan.crop_height);
    image_free(WORK_IMAGE);
    image_copy(CUT_IMAGE, WORK_IMAGE);
    image_free(CUT_IMAGE);
}

bool encode(const JobSettings& settings, const std::string& source_path, const std::string& output_path,
            std::uint32_t encoder)
{
    if (!image_load(WORK_IMAGE, source_path)) {
        image_free(WORK_IMAGE);
        return false;
    }
    apply_plan(plan_resize(settings.resize_mode, image_width(WORK_IMAGE), image_height(WORK_IMAGE),
                           settings.target_width, settings.target_height));
    const int quality = static_cast<int>(std::clamp<std::int64_t>(settings.jpeg_quality, -1, 11));
    const bool saved = image_save(WORK_IMAGE, output_path, encoder, quality) != 0;
    image_free(WORK_IMAGE);
    return saved;
}

// Sends the output to the compression service on a worker thread and waits for it. The worker
// replaces the output with the compressed download, or sets the run's error flag.
void compress(JobContext& context, const std::string& output_path)
{
    CompressionTask task;
    task.upload_path = output_path;
    task.result_path = output_path;
    task.api_key = context.settings.api_key;
    task.shrink_endpoint = context.shrink_endpoint;
    task.error_flag = &context.run.tinify_error;
    run_compression(task);
}

} // namespace

std::uint32_t encoder_for(const std::string& path)
{
    const std::string extension = lower_case_extension(path);
    if (extension == "jpg" || extension == "jpeg")
        return IMAGE_CODE_JPEG;
    if (extension == "png")
        return IMAGE_CODE_PNG;
    return 0;
}

ImageOutcome image_job(JobContext& context, const std::string& source_path, const std::string& output_path)
{
    const JobSettings& settings = context.settings;
    context.front_end.take_one_event();

    ImageOutcome outcome = ImageOutcome::NotAnImage;
    if (const std::uint32_t encoder = encoder_for(source_path)) {
        const bool written = settings.resize_mode == RESIZE_UPLOAD_ORIGINALS
                                 ? file_copy(source_path, output_path) != 0
                                 : encode(settings, source_path, output_path, encoder);
        outcome = written ? ImageOutcome::Written : ImageOutcome::Failed;
    }

    if (outcome == ImageOutcome::Written && settings.tinify_upload == 1 && context.run.tinify_error == 0)
        compress(context, output_path);

    context.run.processed_count += 1;
    context.front_end.set_progress(context.run.processed_count, source_path);
    return outcome;
}

} // namespace pictavo
