#include "ui_hand_off.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <chrono>
#include <thread>

namespace tobrin::shell {
namespace {

using Clock = std::chrono::steady_clock;
// How long the UI thread waits for the next update before going back to its event loop.
constexpr auto kIdlePoll = std::chrono::microseconds(20);
// Longest stretch of back-to-back updates before the event loop gets to paint.
constexpr auto kPollBudget = std::chrono::milliseconds(8);
// How long the waiting worker spins before it sleeps on the futex. Short:
// when both threads share one core, spinning only delays the UI thread.
constexpr auto kWorkerSpin = std::chrono::microseconds(2);

const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

}  // namespace

UiHandOff::UiHandOff(QObject* parent) : QObject(parent) {}

void UiHandOff::Apply(void* callable, Call call) {
    if (QThread::currentThread() == thread()) {
        call(callable);
        return;
    }
    callable_ = callable;
    call_ = call;
    const std::uint32_t ticket = requested_.load(std::memory_order_relaxed) + 1;
    // Publishing the ticket and then reading the polling flag, both sequentially
    // consistent, pairs with Drain's clear-then-recheck: one side always notices.
    requested_.store(ticket);
    if (!polling_.load()) PostWake();
    WaitUntilApplied(ticket);
}

void UiHandOff::WaitUntilApplied(std::uint32_t ticket) const {
    const auto spin_end = Clock::now() + kWorkerSpin;
    while (applied_.load(std::memory_order_acquire) != ticket && Clock::now() < spin_end) {
        CpuRelax();
    }
    for (auto seen = applied_.load(std::memory_order_acquire); seen != ticket;
         seen = applied_.load(std::memory_order_acquire)) {
        applied_.wait(seen, std::memory_order_acquire);
    }
}

bool UiHandOff::event(QEvent* event) {
    if (event->type() != kWakeEvent) return QObject::event(event);
    // A spare wake delivered inside an update's own event loop (a message box)
    // must not run that update again; the worker is still waiting for it.
    if (draining_) return true;
    draining_ = true;
    Drain();
    draining_ = false;
    return true;
}

void UiHandOff::Drain() {
    polling_.store(true);
    const auto budget_end = Clock::now() + kPollBudget;
    auto last_update = Clock::now();
    while (true) {
        const auto ticket = requested_.load(std::memory_order_acquire);
        if (ticket != applied_.load(std::memory_order_relaxed)) {
            call_(callable_);
            applied_.store(ticket, std::memory_order_release);
            applied_.notify_one();
            last_update = Clock::now();
            if (last_update >= budget_end) break;
        } else if (Clock::now() - last_update > kIdlePoll) {
            break;
        } else {
            // Yielding lets a worker that shares this core produce the next update.
            std::this_thread::yield();
        }
    }
    polling_.store(false);
    // An update published while the flag was still set has posted no event.
    if (requested_.load() != applied_.load(std::memory_order_relaxed)) PostWake();
}

void UiHandOff::PostWake() {
    QCoreApplication::postEvent(this, new QEvent(kWakeEvent));
}

}  // namespace tobrin::shell
