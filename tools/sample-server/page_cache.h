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

namespace kestrova::sample {

/// The last few generated pages. Each page is rendered once even when several requests ask
/// for it at the same time, and pages asked for with prefetch() are rendered ahead on a
/// worker thread, so that a client walking the months in order never waits for generation.
class PageCache {
  public:
    using Body = std::shared_ptr<const std::string>;
    using Render = std::function<std::string(const std::string& fileName)>;

    PageCache(std::size_t capacity, Render render);
    ~PageCache();
    PageCache(const PageCache&) = delete;
    PageCache& operator=(const PageCache&) = delete;

    /// The page, rendered now unless it is cached or being rendered; rethrows a render error.
    Body get(const std::string& fileName);
    /// Renders the page on the worker thread unless it is cached or being rendered.
    void prefetch(const std::string& fileName);

  private:
    std::shared_future<Body> lookUp(const std::string& fileName, std::promise<Body>& mine,
                                    bool& render);
    void work();

    const std::size_t capacity_;
    const Render render_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::pair<std::string, std::shared_future<Body>>> entries_;
    std::deque<std::string> queue_;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace kestrova::sample
