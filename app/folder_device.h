// The folder device: a printer whose device URI is folder:///some/folder
// writes each job's printer stream into that folder as job-NNNN.prn and,
// once the job is done, its preview picture as job-NNNN.png. It lets the
// application be tried without a printer.
#pragma once

namespace kordane::app {

void addFolderDevice();

} // namespace kordane::app
