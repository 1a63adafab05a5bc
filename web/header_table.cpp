// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/header_table.h"

#include "sys/name_hash.h"

#include <new>

namespace pictavo {

HeaderTable::HeaderTable(std::size_t buckets) : buckets_(buckets == 0 ? 1 : buckets) {}

std::vector<HeaderTable::Entry>& HeaderTable::bucket_of(const std::string& name)
{
    return buckets_[name_hash(name) % buckets_.size()];
}

const std::vector<HeaderTable::Entry>& HeaderTable::bucket_of(const std::string& name) const
{
    return buckets_[name_hash(name) % buckets_.size()];
}

bool HeaderTable::set(const std::string& name, const std::string& value)
{
    try {
        auto& bucket = bucket_of(name);
        for (auto& entry : bucket)
            if (entry.name == name) {
                entry.value = value;
                return true;
            }
        bucket.push_back({name, value});
    } catch (const std::bad_alloc&) {
        return false;
    }
    ++count_;
    return true;
}

const std::string* HeaderTable::find(const std::string& name) const
{
    for (const auto& entry : bucket_of(name))
        if (entry.name == name)
            return &entry.value;
    return nullptr;
}

void HeaderTable::walk(const std::function<void(const std::string&, const std::string&)>& visit) const
{
    for (const auto& bucket : buckets_)
        for (const auto& entry : bucket)
            visit(entry.name, entry.value);
}

} // namespace pictavo
