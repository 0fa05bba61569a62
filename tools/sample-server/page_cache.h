#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "content_coding.h"

namespace kestrova::sample {

/// The last few generated pages. Each page is rendered once even when several requests ask
/// for it at the same time, and pages asked for with prefetch() are rendered ahead on a
/// worker thread, so that a client walking the months in order never waits for generation.
/// A page is kept with its compressed form, which is made once too.
class PageCache {
  public:
    using Body = std::shared_ptr<const Content>;
    using Render = std::function<std::string(const std::string& fileName)>;

    PageCache(std::size_t capacity, Render render);
    ~PageCache();
    PageCache(const PageCache&) = delete;
    PageCache& operator=(const PageCache&) = delete;

    /// The page, rendered now unless it is cached or being rendered; rethrows a render error.
    Body get(const std::string& fileName);
    /// Renders the page on the worker thread unless it is cached or being rendered; with
    /// `compress`, compresses it there too.
    void prefetch(const std::string& fileName, bool compress = false);

  private:
    std::shared_future<Body> lookUp(const std::string& fileName, std::promise<Body>& mine,
                                    bool& render);
    void work();

    const std::size_t capacity_;
    const Render render_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::pair<std::string, std::shared_future<Body>>> entries_;
    std::deque<std::pair<std::string, bool>> queue_;  // name, compress
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace kestrova::sample
