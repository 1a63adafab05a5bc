// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/image_object.h"

#include "sys/numbered_table.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace pictavo {
namespace {

struct ImageTable {
    NumberedTable<ImageObject> numbered;
    // Images allocated with IMAGE_ANY; their reference is their number.
    std::mutex unnumbered_mutex;
    std::vector<std::unique_ptr<ImageObject>> unnumbered;
};

ImageTable& table()
{
    static ImageTable instance;
    return instance;
}

ImageObject* find_unnumbered(ImageNumber number)
{
    auto& t = table();
    std::lock_guard lock(t.unnumbered_mutex);
    for (auto& image : t.unnumbered)
        if (reinterpret_cast<ImageNumber>(image.get()) == number)
            return image.get();
    return nullptr;
}

} // namespace

ImageObject* image_lookup(ImageNumber number)
{
    ImageObject* image = table().numbered.lookup(number);
    if (!image)
        image = find_unnumbered(number);
    return image && image->holds_image() ? image : nullptr;
}

ImageObject* image_allocate(ImageNumber number)
{
    if (number == IMAGE_ANY) {
        auto& t = table();
        std::unique_ptr<ImageObject> image(new (std::nothrow) ImageObject());
        if (!image)
            return nullptr;
        std::lock_guard lock(t.unnumbered_mutex);
        try {
            t.unnumbered.push_back(std::move(image));
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        return t.unnumbered.back().get();
    }
    if (ImageObject* unnumbered = find_unnumbered(number)) {
        *unnumbered = ImageObject();
        return unnumbered;
    }
    return table().numbered.allocate(number);
}

ImageHandle image_result(ImageNumber number, const ImageObject& image)
{
    if (number == IMAGE_ANY || find_unnumbered(number))
        return reinterpret_cast<ImageHandle>(&image);
    return image.pixel_handle();
}

void image_free(ImageNumber number)
{
    auto& t = table();
    if (number == IMAGE_ANY) {
        t.numbered.release_all();
        std::vector<std::unique_ptr<ImageObject>> released;
        std::lock_guard lock(t.unnumbered_mutex);
        released.swap(t.unnumbered);
        return;
    }
    {
        std::unique_ptr<ImageObject> released;
        std::lock_guard lock(t.unnumbered_mutex);
        auto it = std::find_if(t.unnumbered.begin(), t.unnumbered.end(), [number](const auto& image) {
            return reinterpret_cast<ImageNumber>(image.get()) == number;
        });
        if (it != t.unnumbered.end()) {
            released = std::move(*it);
            t.unnumbered.erase(it);
            return;
        }
    }
    t.numbered.release(number);
}

int image_width(ImageNumber number)
{
    const ImageObject* image = image_lookup(number);
    return image ? image->width : 0;
}

int image_height(ImageNumber number)
{
    const ImageObject* image = image_lookup(number);
    return image ? image->height : 0;
}

} // namespace pictavo
