// SPDX-License-Identifier: GPL-3.0-or-later
// Extra request headers: names mapped to values, names unique.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace pictavo {

class HeaderTable {
public:
    // A table with the given number of hash buckets (at least one).
    explicit HeaderTable(std::size_t buckets = 512);

    // Sets the value of name: an existing name's value is replaced, a new name is added.
    // false only when memory runs out (the table is then unchanged).
    bool set(const std::string& name, const std::string& value);

    // The value of name, or nullptr when the table has no such name. Names match exactly.
    const std::string* find(const std::string& name) const;

    std::size_t size() const { return count_; }

    // Visits every entry in the table's own order: bucket by bucket, and within a bucket in
    // the order the names were added.
    void walk(const std::function<void(const std::string& name, const std::string& value)>& visit) const;

private:
    struct Entry {
        std::string name;
        std::string value;
    };

    std::vector<Entry>& bucket_of(const std::string& name);
    const std::vector<Entry>& bucket_of(const std::string& name) const;

    std::vector<std::vector<Entry>> buckets_;
    std::size_t count_ = 0;
};

} // namespace pictavo
