// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/size_search.h"

#include "image/image_save.h"
#include "image/png_reduction.h"
#include "image/quality_scale.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace pictavo {
namespace {

// Keeps the try that fits with the most quality (the caller asks in falling order of quality
// or knows which is better) and the smallest try for when none fits.
class Tries {
public:
    Tries(const ImageObject& image, std::uint32_t encoder, int quality, std::int64_t limit, LimitedEncode& result)
        : image_(image), encoder_(encoder), quality_(quality), limit_(limit), result_(result)
    {
    }

    // Encodes with options; true when the file fits. A failed encode ends the search.
    bool fits(const EncodeOptions& options)
    {
        std::vector<std::uint8_t> bytes;
        EncodeOutcome outcome;
        ++result_.tries;
        if (const ImageError error = image_encode(image_, encoder_, quality_, options, bytes, &outcome);
            error != ImageError::None) {
            failed_ = error;
            return false;
        }
        last_size_ = static_cast<std::int64_t>(bytes.size());
        const bool fit = last_size_ <= limit_;
        if (fit) {
            fitting_ = std::move(bytes);
            fitting_outcome_ = outcome;
            found_ = true;
        } else if (smallest_.empty() || bytes.size() < smallest_.size()) {
            smallest_ = std::move(bytes);
            smallest_outcome_ = outcome;
        }
        return fit;
    }

    bool failed() const { return failed_ != ImageError::None; }
    std::int64_t last_size() const { return last_size_; }
    std::int64_t limit() const { return limit_; }

    // The chosen try into the result.
    void finish()
    {
        result_.error = failed_;
        result_.fits = found_;
        result_.bytes = found_ ? std::move(fitting_) : std::move(smallest_);
        result_.outcome = found_ ? fitting_outcome_ : smallest_outcome_;
        if (failed())
            result_.bytes.clear();
    }

private:
    const ImageObject& image_;
    std::uint32_t encoder_;
    int quality_;
    std::int64_t limit_;
    LimitedEncode& result_;
    ImageError failed_ = ImageError::None;
    std::int64_t last_size_ = 0;
    bool found_ = false;
    std::vector<std::uint8_t> fitting_;
    EncodeOutcome fitting_outcome_;
    std::vector<std::uint8_t> smallest_;
    EncodeOutcome smallest_outcome_;
};

// The highest value in [low, high] for which fits holds, found by bisection, or low - 1 when
// even low does not fit. Each value tried is tried once, and when the answer is below high the
// value above it was tried and did not fit.
template <typename Fits>
int highest_fitting(int low, int high, Fits fits)
{
    int best = low - 1;
    while (low <= high) {
        const int middle = low + (high - low) / 2;
        if (fits(middle)) {
            best = middle;
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    return best;
}

void search_lossy_quality(Tries& tries, std::uint32_t encoder, int quality, const EncodeOptions& options)
{
    // A lossless output that was asked for is tried first; only when it does not fit does the
    // search go on over the lossy form.
    if (options.lossless && (tries.fits(options) || tries.failed()))
        return;
    // The program quality on the encoder's own scale; JPEG's 0 gives libjpeg's lowest, 1.
    const int top = std::max(1, native_quality_of(encoder, quality));
    EncodeOptions at = options;
    at.lossless = false;
    at.native_quality = top;
    if (tries.fits(at) || tries.failed())
        return;
    highest_fitting(1, top - 1, [&](int value) {
        at.native_quality = value;
        return !tries.failed() && tries.fits(at);
    });
}

void search_png(Tries& tries, const ImageObject& image, const EncodeOptions& options, LimitedEncode& result)
{
    if (tries.fits(options) || tries.failed())
        return;
    EncodeOptions lossless = options;
    lossless.optimize = true;
    const bool lossless_may_fit =
        static_cast<double>(tries.last_size()) <= LOSSLESS_REACH * static_cast<double>(tries.limit())
        || has_few_colours(image.pixels);
    if (!options.optimize && !options.lossy_palette && lossless_may_fit && (tries.fits(lossless) || tries.failed()))
        return;
    EncodeOptions palette = options;
    palette.optimize = true;
    palette.lossy_palette = true;
    palette.palette_quality_floor = 0;
    const int steps = static_cast<int>(std::size(PALETTE_COLOUR_STEPS));
    const auto fits_at = [&](int step) {
        palette.palette_colours = PALETTE_COLOUR_STEPS[step];
        return !tries.failed() && tries.fits(palette);
    };
    if (fits_at(0)) {
        result.palette_limit = PALETTE_COLOUR_STEPS[0];
        return;
    }
    // From a guess at the step that fits, walk up while the step above fits, or down until one
    // fits: two tries for most images, and the step above the chosen one was tried.
    const double shrink_needed = static_cast<double>(tries.limit()) / static_cast<double>(tries.last_size());
    const int guess = std::clamp(static_cast<int>(std::ceil(std::log(shrink_needed) / std::log(PALETTE_STEP_SHRINK))),
                                 1, steps - 1);
    int chosen = guess;
    if (fits_at(guess)) {
        while (chosen > 1 && fits_at(chosen - 1))
            --chosen;
    } else {
        do
            ++chosen;
        while (chosen < steps && !fits_at(chosen));
    }
    if (!tries.failed() && chosen < steps)
        result.palette_limit = PALETTE_COLOUR_STEPS[chosen];
}

} // namespace

LimitedEncode encode_within_limit(const ImageObject& image, std::uint32_t encoder, int quality,
                                  const EncodeOptions& options, std::int64_t limit)
{
    LimitedEncode result;
    Tries tries(image, encoder, quality, limit, result);
    if (encoder == IMAGE_CODE_PNG)
        search_png(tries, image, options, result);
    else
        search_lossy_quality(tries, encoder, quality, options);
    tries.finish();
    return result;
}

} // namespace pictavo
