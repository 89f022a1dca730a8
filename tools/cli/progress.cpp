#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace tobrin::cli {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

}  // namespace

Progress::Progress(bool live, std::string what)
    : live_(live), what_(std::move(what)), start_(Clock::now()), last_draw_(start_) {}

void Progress::Count() {
    ++count_;
    if (!live_) return;
    const Clock::time_point now = Clock::now();
    if (now - last_draw_ >= kRedrawInterval) Draw(now);
}

void Progress::Draw(Clock::time_point now) {
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0 ? static_cast<double>(count_) / seconds : 0;
    std::fprintf(stderr, "\r\x1b[K%s: %llu (%.0f/s)", what_.c_str(),
                 static_cast<unsigned long long>(count_), rate);
    std::fflush(stderr);
    last_draw_ = now;
    drawn_ = true;
}

void Progress::Finish() {
    if (!drawn_) return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    drawn_ = false;
}

bool LiveProgressWanted(bool quiet) {
    return !quiet && isatty(STDERR_FILENO) == 1;
}

}  // namespace tobrin::cli
