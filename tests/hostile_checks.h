// What every run of the filter on bad input must keep to: it ends by itself
// (no hang, no death by signal) with status 0 or 1, leaves no sanitizer
// report, says on standard error why a job failed, and sends nothing to the
// printer before ESC @; a raster job's printer bytes read back as whole
// commands.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "preview/decoder.h"
#include "support/filter_runner.h"

namespace kordane::test {

inline ::testing::AssertionResult survived(const FilterResult& r)
{
    if (r.timedOut)
        return ::testing::AssertionFailure() << "the filter did not finish in time";
    if (r.termSignal != 0)
        return ::testing::AssertionFailure() << "the filter died by signal " << r.termSignal << "\n" << r.err;
    if (r.exitStatus != 0 && r.exitStatus != 1)
        return ::testing::AssertionFailure() << "exit status " << r.exitStatus << "\n" << r.err;
    for (const char* report : {"Sanitizer", "runtime error:", "terminate called"})
        if (r.err.find(report) != std::string::npos)
            return ::testing::AssertionFailure() << "report on standard error:\n" << r.err;
    if (!r.out.empty() && (r.out.size() < 2 || r.out[0] != 0x1B || r.out[1] != 0x40))
        return ::testing::AssertionFailure() << "printer bytes before ESC @";
    if (r.exitStatus == 1 && r.err.find("ERROR:") == std::string::npos &&
        r.err.find("rastertoKordane job-id user title copies options [file]") == std::string::npos &&
        r.err.find("Unable to open") == std::string::npos &&
        r.err.find("Memory Allocation Error") == std::string::npos)
        return ::testing::AssertionFailure() << "status 1 without a line saying why:\n" << r.err;
    return ::testing::AssertionSuccess();
}

// The printer bytes decode into whole commands, none of them stray text.
inline ::testing::AssertionResult wholeCommands(const FilterResult& r)
{
    const preview::DecodeResult decoded = preview::decodeStream(r.out);
    if (!decoded.ok())
        return ::testing::AssertionFailure()
               << "printer bytes do not decode: " << decoded.error->message << " at byte " << decoded.error->offset;
    for (const preview::Command& c : decoded.commands)
        if (c.kind == preview::CommandKind::Text)
            return ::testing::AssertionFailure() << "stray bytes at " << c.offset << " (" << c.length << " bytes)";
    return ::testing::AssertionSuccess();
}

// A sanitizer suppression for a leak inside libcups on some malformed PPD
// files, for runs that hand the filter such a file.
inline std::pair<std::string, std::string> libcupsLeakSuppression()
{
    return {"LSAN_OPTIONS", std::string("suppressions=") + KORDANE_SOURCE_DIR + "/fuzz/lsan.supp"};
}

} // namespace kordane::test
