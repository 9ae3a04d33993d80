// Parallel indexing work; see jobs.h.

#include "jobs.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

std::vector<size_t> ShareFiles(const std::vector<FoundFileT>& files,
                               size_t shares) {
  if (shares > files.size()) shares = files.size();
  if (shares == 0) shares = 1;
  long double total = 0;
  for (const FoundFileT& file : files) total += file.Size;
  std::vector<size_t> bounds{0};
  long double before = 0;  // the bytes of files [0, i)
  size_t i = 0;
  for (size_t k = 1; k < shares; ++k) {
    long double target = total * k / shares;
    // A share takes one file at least and leaves one for each later share.
    do {
      before += files[i].Size;
      ++i;
    } while (i < files.size() - (shares - k) && before < target);
    bounds.push_back(i);
  }
  bounds.push_back(files.size());
  return bounds;
}

unsigned long MemoryOption(const ArgsT& args) {
  return args.Bytes("memory", 64ul << 20, TV_MIN_INDEXING_MEMORY,
                    TV_MAX_INDEXING_MEMORY);
}

size_t CoreCount() {
  unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : cores;
}

void RunJobs(size_t jobs, const char* command, const FileTallyT& tally,
             ProgressT* progress,
             const std::function<void(
                 size_t, const std::function<void(const std::string&)>&)>&
                 job) {
  std::mutex mutex;  // guards the progress line, stderr and running
  std::condition_variable changed;
  size_t running = jobs;
  auto report = [&](const std::string& line) {
    std::lock_guard<std::mutex> hold(mutex);
    progress->Finish();
    std::fprintf(stderr, "tarvis: %s: %s\n", command, line.c_str());
  };
  std::vector<std::exception_ptr> failures(jobs);
  std::vector<std::thread> threads;
  auto run = [&](size_t k) {
    try {
      job(k, report);
    } catch (...) {
      failures[k] = std::current_exception();
    }
    std::lock_guard<std::mutex> hold(mutex);
    --running;
    changed.notify_all();
  };
  for (size_t k = 0; k < jobs; ++k) {
    // A job that gets no thread of its own runs on this one.
    try {
      threads.emplace_back(run, k);
    } catch (const std::system_error&) {
      run(k);
    }
  }
  {
    std::unique_lock<std::mutex> hold(mutex);
    while (running != 0) {
      progress->Update(tally.Files, tally.Bytes, tally.Words);
      changed.wait_for(hold, std::chrono::milliseconds(100));
    }
    progress->Finish();
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::exception_ptr& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
}
