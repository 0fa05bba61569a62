#include "page_cache.h"

#include <algorithm>

namespace kestrova::sample {

PageCache::PageCache(std::size_t capacity, Render render)
    : capacity_(capacity), render_(std::move(render)), worker_([this] { work(); }) {}

PageCache::~PageCache() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

std::shared_future<PageCache::Body> PageCache::lookUp(const std::string& fileName,
                                                      std::promise<Body>& mine, bool& render) {
    std::lock_guard lock(mutex_);
    const auto hit = std::find_if(entries_.begin(), entries_.end(),
                                  [&](const auto& entry) { return entry.first == fileName; });
    if (hit != entries_.end()) {
        // Least recently used goes first: a hit moves to the back.
        auto entry = std::move(*hit);
        entries_.erase(hit);
        entries_.push_back(std::move(entry));
        render = false;
        return entries_.back().second;
    }
    render = true;
    std::shared_future<Body> page = mine.get_future().share();
    entries_.emplace_back(fileName, page);
    if (entries_.size() > capacity_) {
        entries_.pop_front();
    }
    return page;
}

PageCache::Body PageCache::get(const std::string& fileName) {
    std::promise<Body> mine;
    bool render = false;
    std::shared_future<Body> page = lookUp(fileName, mine, render);
    if (render) {
        try {
            mine.set_value(std::make_shared<const Content>(render_(fileName)));
        } catch (...) {
            mine.set_exception(std::current_exception());
            std::lock_guard lock(mutex_);
            std::erase_if(entries_, [&](const auto& entry) { return entry.first == fileName; });
        }
    }
    return page.get();
}

void PageCache::prefetch(const std::string& fileName, bool compress) {
    {
        std::lock_guard lock(mutex_);
        const auto cached = std::find_if(entries_.begin(), entries_.end(), [&](const auto& entry) {
            return entry.first == fileName;
        });
        const auto queued = std::find_if(queue_.begin(), queue_.end(),
                                         [&](const auto& wish) { return wish.first == fileName; });
        if (queued != queue_.end()) {
            queued->second |= compress;
            return;
        }
        // A cached page may still need compressing; that is done once in any case.
        if (cached != entries_.end() && !compress) {
            return;
        }
        queue_.emplace_back(fileName, compress);
        // Only the latest wishes matter to a client that jumps around.
        if (queue_.size() > 2) {
            queue_.pop_front();
        }
    }
    wake_.notify_one();
}

void PageCache::work() {
    while (true) {
        std::pair<std::string, bool> wish;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) {
                return;
            }
            wish = std::move(queue_.front());
            queue_.pop_front();
        }
        try {
            const Body page = get(wish.first);
            if (wish.second) {
                page->deflated();
            }
        } catch (...) {
            // A page that cannot be rendered fails again, visibly, when it is requested.
        }
    }
}

}  // namespace kestrova::sample
