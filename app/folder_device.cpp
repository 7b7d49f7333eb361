#include "app/folder_device.h"

#include <pappl/pappl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "preview/decoder.h"
#include "preview/png_file.h"
#include "preview/render.h"

namespace kordane::app {

namespace {

struct FolderJob {
    int fd = -1;
    std::string base; // folder/job-NNNN
    std::vector<std::uint8_t> bytes;
};

bool openFolder(pappl_device_t* device, const char* uri, const char*)
{
    char scheme[32], user[256], host[256], folder[1024];
    int port = 0;
    if (httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof scheme, user, sizeof user, host, sizeof host, &port,
                        folder, sizeof folder) < HTTP_URI_STATUS_OK) {
        papplDeviceError(device, "Bad folder device URI \"%s\".", uri);
        return false;
    }
    auto* job = new FolderJob;
    // The first free number: files of earlier jobs are kept.
    for (int n = 1; n < 100000 && job->fd < 0; ++n) {
        char base[1100];
        std::snprintf(base, sizeof base, "%s/job-%04d", folder, n);
        job->base = base;
        job->fd = ::open((job->base + ".prn").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (job->fd < 0 && errno != EEXIST)
            break;
    }
    if (job->fd < 0) {
        papplDeviceError(device, "Unable to create a job file in \"%s\": %s", folder, std::strerror(errno));
        delete job;
        return false;
    }
    papplDeviceSetData(device, job);
    return true;
}

ssize_t writeFolder(pappl_device_t* device, const void* buffer, std::size_t n)
{
    auto* job = static_cast<FolderJob*>(papplDeviceGetData(device));
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    job->bytes.insert(job->bytes.end(), p, p + n);
    std::size_t left = n;
    while (left > 0) {
        const ssize_t w = ::write(job->fd, p, left);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return -1;
        p += w;
        left -= static_cast<std::size_t>(w);
    }
    return static_cast<ssize_t>(n);
}

// The stream file is complete when its picture appears: the picture is
// written under another name and renamed into place.
void closeFolder(pappl_device_t* device)
{
    auto* job = static_cast<FolderJob*>(papplDeviceGetData(device));
    if (job == nullptr)
        return;
    ::close(job->fd);
    const preview::DecodeResult decoded = preview::decodeStream(job->bytes, std::uint64_t{1} << 30);
    const preview::Preview picture = preview::renderPreview(decoded.commands);
    std::string error;
    const std::string partial = job->base + ".png.part";
    if (preview::writePng(partial, picture.canvas, error))
        std::rename(partial.c_str(), (job->base + ".png").c_str());
    delete job;
    papplDeviceSetData(device, nullptr);
}

pappl_preason_t folderStatus(pappl_device_t*) { return PAPPL_PREASON_NONE; }

} // namespace

void addFolderDevice()
{
    // Asking about any device first makes PAPPL register its own schemes
    // (socket, usb, ...), which it does only while it knows of none.
    papplDeviceIsSupported("socket://localhost");
    papplDeviceAddScheme("folder", PAPPL_DEVTYPE_CUSTOM_LOCAL, nullptr, openFolder, closeFolder, nullptr,
                         writeFolder, folderStatus, nullptr);
}

} // namespace kordane::app
