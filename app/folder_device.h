// The folder device: a printer whose device URI is folder:///some/folder
// writes each job's printer stream into that folder as job-NNNN.prn and,
// once the job is done, its preview picture as job-NNNN.png. It lets the
// application be tried without a printer.
#pragma once

#include <pappl/pappl.h>

namespace kordane::app {

void addFolderDevice();
// The end of a job: on a folder device its file is complete (the device
// stays open while jobs follow one another).
void endFolderJob(pappl_job_t* job, pappl_device_t* device);

} // namespace kordane::app
