// Indexing work run in parallel: the files cut into consecutive shares of
// about equal bytes, one share a job, each job on a thread of its own while
// the calling thread draws the progress line. A job's failure is rethrown
// once every job has returned.

#ifndef TARVIS_TOOLS_JOBS_H_
#define TARVIS_TOOLS_JOBS_H_

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "args.h"
#include "file_records.h"
#include "file_walker.h"
#include "progress.h"

// The bounds of at most `shares` consecutive shares of files, of about equal
// bytes and at least one file each: share k holds files [bounds[k],
// bounds[k + 1]). No files make one empty share.
std::vector<size_t> ShareFiles(const std::vector<FoundFileT>& files,
                               size_t shares);

// Runs job(k, report) for every k below jobs, each on its own thread, and
// updates progress from tally until all have returned. report prints a
// line on stderr ("tarvis: COMMAND: line"), clearing the progress line
// first. Rethrows the failure of the first job (in job order) that failed.
void RunJobs(size_t jobs, const char* command, const FileTallyT& tally,
             ProgressT* progress,
             const std::function<void(
                 size_t, const std::function<void(const std::string&)>&)>&
                 job);

// The --memory option of the commands that index (a usage error outside
// the library's bounds); 64 MiB unless given, enough that a workstation's
// typical document folders are indexed in a single run.
unsigned long MemoryOption(const ArgsT& args);

// The number of cores, at least 1.
size_t CoreCount();

#endif  // TARVIS_TOOLS_JOBS_H_
