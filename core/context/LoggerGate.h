#pragma once

#include <shared_mutex>

#include "foundation/logging/LoggerFront.h"

// A logger front whose target may come and go while other threads log through it. Calls run in
// the target under a shared lock; open and close take it exclusively, so once close returns no
// call is running in the old target and its owner may delete it. Calls while closed log nothing.
// The gate itself must outlive every thread that may still hold it (the context's gates live as
// long as the process). Any thread; a target must not log through its own gate.
class LoggerGate final : public pando::LoggerFront {
 public:
  // With a module, plain records (vlog and the level calls) carry it as their module, and their
  // source as their component: the utilities log that way.
  explicit LoggerGate(const char* module = nullptr) : module_(module) {}
  LoggerGate(const LoggerGate&) = delete;
  LoggerGate& operator=(const LoggerGate&) = delete;

  // Not owned. Waits for calls running in the previous target.
  void open(pando::AbstractLogger* target);
  void close() { open(nullptr); }

  void vlog(int level, const char* tag, const char* source, const char* format,
            va_list args) override __attribute__((format(printf, 5, 0)));
  void vlogAs(int level, const char* module, const char* component, const char* tag,
              const char* source, const char* format, va_list args) override
      __attribute__((format(printf, 7, 0)));

 private:
  const char* const module_;
  std::shared_mutex mutex_;
  pando::AbstractLogger* target_ = nullptr;  // guarded by mutex_
};
