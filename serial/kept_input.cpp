#include "serial/kept_input.h"

#include <algorithm>
#include <utility>

namespace zorvan::serial {

std::optional<std::size_t> lineEnd(std::span<const std::uint8_t> bytes,
                                   std::optional<char> delimiter, std::size_t limit) {
    const std::size_t within = std::min(bytes.size(), limit);
    if (delimiter) {
        const auto at =
            std::find(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(within),
                      static_cast<std::uint8_t>(*delimiter));
        if (at != bytes.begin() + static_cast<std::ptrdiff_t>(within)) {
            return static_cast<std::size_t>(at - bytes.begin()) + 1;
        }
    }
    return bytes.size() >= limit ? std::optional<std::size_t>(limit) : std::nullopt;
}

std::vector<std::uint8_t> KeptInput::takeAll() {
    std::lock_guard lock(lock_);
    return std::exchange(bytes_, {});
}

std::vector<std::uint8_t> KeptInput::take(std::size_t count) {
    std::lock_guard lock(lock_);
    if (count >= bytes_.size()) {
        return std::exchange(bytes_, {});
    }
    std::vector<std::uint8_t> front(bytes_.begin(),
                                    bytes_.begin() + static_cast<std::ptrdiff_t>(count));
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(count));
    return front;
}

void KeptInput::putBack(std::vector<std::uint8_t> bytes) {
    std::lock_guard lock(lock_);
    bytes.insert(bytes.end(), bytes_.begin(), bytes_.end());
    bytes_ = std::move(bytes);
}

std::size_t KeptInput::size() const {
    std::lock_guard lock(lock_);
    return bytes_.size();
}

void KeptInput::clear() {
    std::lock_guard lock(lock_);
    bytes_.clear();
}

}  // namespace zorvan::serial
