#include <atomic>
#include <map>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "page_cache.h"

namespace kestrova::sample {
namespace {

using namespace std::chrono_literals;

class CountingRender {
  public:
    std::string operator()(const std::string& name) {
        {
            std::lock_guard lock(mutex);
            ++calls[name];
            if (failures > 0) {
                --failures;
                throw std::runtime_error("render failed");
            }
        }
        std::this_thread::sleep_for(delay);
        return "page " + name;
    }
    int count(const std::string& name) {
        std::lock_guard lock(mutex);
        return calls[name];
    }

    std::mutex mutex;
    std::map<std::string, int> calls;
    int failures = 0;
    std::chrono::milliseconds delay{0};
};

TEST(PageCache, RendersAPageOnceForConcurrentRequests) {
    CountingRender render;
    render.delay = 50ms;
    PageCache cache(4, [&](const std::string& n) { return render(n); });
    std::vector<PageCache::Body> bodies(4);
    std::vector<std::thread> threads;
    for (auto& body : bodies) {
        threads.emplace_back([&] { body = cache.get("TF2501.html"); });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(render.count("TF2501.html"), 1);
    for (const auto& body : bodies) {
        EXPECT_EQ(body, bodies[0]);
    }
    EXPECT_EQ(bodies[0]->plain(), "page TF2501.html");
}

TEST(PageCache, PrefetchedPagesAreNotRenderedAgain) {
    CountingRender render;
    PageCache cache(4, [&](const std::string& n) { return render(n); });
    cache.prefetch("TF2502.html");
    for (int i = 0; i < 500 && render.count("TF2502.html") == 0; ++i) {
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_EQ(cache.get("TF2502.html")->plain(), "page TF2502.html");
    EXPECT_EQ(render.count("TF2502.html"), 1);
    cache.prefetch("TF2502.html");
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(render.count("TF2502.html"), 1);
}

TEST(PageCache, KeepsOnlyTheLatestPages) {
    CountingRender render;
    PageCache cache(2, [&](const std::string& n) { return render(n); });
    cache.get("a");
    cache.get("b");
    cache.get("a");
    cache.get("c");
    cache.get("a");
    EXPECT_EQ(render.count("a"), 1);
    cache.get("b");
    EXPECT_EQ(render.count("b"), 2);
}

TEST(PageCache, AFailedRenderIsReportedAndTriedAgain) {
    CountingRender render;
    render.failures = 1;
    PageCache cache(4, [&](const std::string& n) { return render(n); });
    EXPECT_THROW(cache.get("a"), std::runtime_error);
    EXPECT_EQ(cache.get("a")->plain(), "page a");
    EXPECT_EQ(render.count("a"), 2);
}

TEST(PageCache, ShutsDownWhileAPrefetchRuns) {
    CountingRender render;
    render.delay = 100ms;
    {
        PageCache cache(4, [&](const std::string& n) { return render(n); });
        cache.prefetch("slow");
        std::this_thread::sleep_for(10ms);
    }
    SUCCEED();
}

}  // namespace
}  // namespace kestrova::sample
