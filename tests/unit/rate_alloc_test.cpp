// Reading rates and composing plan lines never touch the heap. The global
// allocation functions of this test program are replaced by counting ones;
// they count only while a rate operation is under watch and otherwise pass
// straight through, so the other tests of the program are not affected.
#include <gtest/gtest.h>
#include <atomic>
#include <new>
#include <stdlib.h>
#include <string.h>
#include <string>
#include "rate/rate_eval.h"
#include "rate/rate_plan.h"
#include "rate/rate_tokens.h"

// ---- malloc, where the C library lets a program replace it -----------------
// glibc supports replacing malloc and friends in the program; its own
// internal calls (strtod, snprintf) then come here too. Not under the
// sanitizers, which bring their own malloc, and not on Windows, whose C
// runtime offers no such hook.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define RATE_TEST_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define RATE_TEST_SANITIZED 1
#endif

// ThreadSanitizer's runtime defines operator new itself and cannot share it;
// the allocation checks run in the plain, ASan and Windows builds instead.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define RATE_TEST_TSAN 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define RATE_TEST_TSAN 1
#endif
#ifndef RATE_TEST_TSAN

namespace {
std::atomic<int> watching{0};
std::atomic<long> allocations{0};

void note_allocation()
{
    if (watching.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace


#if defined(__GLIBC__) && !defined(RATE_TEST_SANITIZED)
#define RATE_TEST_COUNTS_MALLOC 1
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void __libc_free(void *);

void *malloc(size_t size)
{
    note_allocation();
    return __libc_malloc(size);
}
void *calloc(size_t count, size_t size)
{
    note_allocation();
    return __libc_calloc(count, size);
}
void *realloc(void *p, size_t size)
{
    note_allocation();
    return __libc_realloc(p, size);
}
void free(void *p) { __libc_free(p); }
}
// operator new counts once, not again through malloc.
namespace {
void *raw_malloc(size_t size) { return __libc_malloc(size); }
void raw_free(void *p) { __libc_free(p); }
}  // namespace
#else
namespace {
void *raw_malloc(size_t size) { return malloc(size); }
void raw_free(void *p) { free(p); }
}  // namespace
#endif

// ---- operator new / delete -------------------------------------------------

void *operator new(size_t size)
{
    note_allocation();
    void *p = raw_malloc(size ? size : 1);
    if (!p) abort();  // a test program out of memory has nothing better to do
    return p;
}
void *operator new[](size_t size) { return operator new(size); }
void *operator new(size_t size, const std::nothrow_t &) noexcept
{
    note_allocation();
    return raw_malloc(size ? size : 1);
}
void *operator new[](size_t size, const std::nothrow_t &tag) noexcept { return operator new(size, tag); }
void operator delete(void *p) noexcept { raw_free(p); }
void operator delete[](void *p) noexcept { raw_free(p); }
void operator delete(void *p, size_t) noexcept { raw_free(p); }
void operator delete[](void *p, size_t) noexcept { raw_free(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { raw_free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { raw_free(p); }

namespace {

// Allocations made by body.
template <typename Body>
long allocations_during(Body body)
{
    allocations.store(0);
    watching.store(1);
    body();
    watching.store(0);
    return allocations.load();
}

const char *const TEXTS[] = {
    "20", "1 million 500 thousand", "1e-300 centillion", "1e306 centillion", "1e400 -1e400",
    "-1.7976931348623157e308", "-4.9406564584124654e-324", "1.7976931348623157e308",
    "1e-310", "0.000123456789", "123456789012345678901234567890123456789", "hundred",
    "20 clicks per second please", "max abc", "1 000 000 000 000 000 000 000 000 000 000 000",
    "", NULL, "20%",
};

}  // namespace

TEST(RateAllocation, TheCountingHooksAreLive)
{
    // Without this the test below could pass with hooks that count nothing.
    long counted = allocations_during([] {
        int *volatile p = new int(5);
        delete p;
    });
    EXPECT_EQ(counted, 1);
#ifdef RATE_TEST_COUNTS_MALLOC
    counted = allocations_during([] {
        void *volatile p = malloc(16);
        free(p);
    });
    EXPECT_EQ(counted, 1);
#endif
}

TEST(RateAllocation, ReadingAndComposingNeverAllocate)
{
    std::string long_text = "1";
    while (long_text.size() < 250) long_text += " 000";
    long_text += " thousand";

    for (const char *text : TEXTS) {
        const std::string shown = text ? text : "(null)";
        EXPECT_EQ(allocations_during([text] {
                      RateTokens tokens;
                      tokenize_rate_text(text, &tokens);
                      RateEntry entry;
                      memset(&entry, 0, sizeof entry);
                      parse_rate_text(text, &entry);
                  }),
                  0)
            << shown;
        EXPECT_EQ(allocations_during([text] {
                      char line[PLAN_TEXT_SIZE];
                      RateEntry e = read_rate_per_second(text);
                      compose_plan_line(&e, 0, line, sizeof line);
                      e = read_rate_interval(text, "7");
                      compose_plan_line(&e, 1, line, sizeof line);
                      e = read_rate_interval("3", text);
                      compose_plan_line(&e, 1, line, sizeof line);
                      period_from_rate(e.scheduled_rate);
                  }),
                  0)
            << shown;
    }
    EXPECT_EQ(allocations_during([&long_text] {
                  char line[PLAN_TEXT_SIZE];
                  RateEntry e = read_rate_interval(long_text.c_str(), "1 centillion");
                  compose_plan_line(&e, 1, line, sizeof line);
                  char preset[8];
                  fastest_preset_text(preset, sizeof preset);
                  rate_status_text(e.status);
              }),
              0);
}

#endif  // RATE_TEST_TSAN
