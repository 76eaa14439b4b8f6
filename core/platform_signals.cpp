#include "core/platform_signals.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <exception>

namespace tarvik::platform {
namespace {

sigset_t TerminationSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

void IgnoreFileSizeSignal() {
  std::signal(SIGXFSZ, SIG_IGN);
}

TerminationWatch::TerminationWatch(std::function<void(int)> onSignal)
    : onSignal_(std::move(onSignal)) {
  sigset_t set = TerminationSet(), before;
  pthread_sigmask(SIG_BLOCK, &set, &before);
  try {
    thread_ = std::thread([this] { Watch(); });
  } catch (const std::exception&) {
    // No thread (no memory for its stack): the signals act as they would without a watch.
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
  }
}

TerminationWatch::~TerminationWatch() {
  if (!thread_.joinable()) return;
  stopping_.store(true);
  // The watch sleeps in sigwait: a signal sent to that thread alone wakes it, and it goes.
  pthread_kill(thread_.native_handle(), SIGTERM);
  thread_.join();
}

void TerminationWatch::Watch() {
  const sigset_t set = TerminationSet();
  for (;;) {
    int signal = 0;
    if (sigwait(&set, &signal) != 0) continue;
    if (stopping_.load()) return;
    int none = 0;
    if (!received_.compare_exchange_strong(none, signal)) EndBySignal(signal);
    if (onSignal_) onSignal_(signal);
  }
}

void EndBySignal(int signal) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  ::raise(signal);
  std::_Exit(128 + signal);  // should the signal not end the process
}

}  // namespace tarvik::platform
