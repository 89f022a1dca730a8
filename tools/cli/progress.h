// Progress of a scan or recovery on standard error: a live count and rate
// when standard error is a terminal, nothing otherwise.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace tobrin::cli {

class Progress {
  public:
    // `live` draws the count; `what` names the counted things ("files found").
    Progress(bool live, std::string what);
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    ~Progress() { Finish(); }

    void Count();
    std::uint64_t count() const { return count_; }
    // Clears the live line; the summary follows on a clean line.
    void Finish();

  private:
    using Clock = std::chrono::steady_clock;
    void Draw(Clock::time_point now);

    bool live_;
    bool drawn_ = false;
    std::string what_;
    std::uint64_t count_ = 0;
    Clock::time_point start_;
    Clock::time_point last_draw_;
};

// Whether progress should be drawn: standard error is a terminal and the
// user did not ask for quiet.
bool LiveProgressWanted(bool quiet);

}  // namespace tobrin::cli
