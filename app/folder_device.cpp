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

// The device stays open while jobs follow one another; each job gets a file
// of its own, started by its first byte and ended by endFolderJob.
struct Folder {
    std::string path;
    int fd = -1;
    std::string base; // path/job-NNNN of the file being written
    std::vector<std::uint8_t> bytes;
};

bool startFile(Folder& f)
{
    // The first free number: files of earlier jobs are kept.
    for (int n = 1; n < 100000; ++n) {
        char base[32];
        std::snprintf(base, sizeof base, "/job-%04d", n);
        f.base = f.path + base;
        f.fd = ::open((f.base + ".prn").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (f.fd >= 0 || errno != EEXIST)
            break;
    }
    f.bytes.clear();
    return f.fd >= 0;
}

// The stream file is complete when its picture appears: the picture is
// written under another name and renamed into place.
void finishFile(Folder& f)
{
    if (f.fd < 0)
        return;
    ::close(f.fd);
    f.fd = -1;
    const preview::DecodeResult decoded = preview::decodeStream(f.bytes, std::uint64_t{1} << 30);
    const preview::Preview picture = preview::renderPreview(decoded.commands);
    std::string error;
    const std::string partial = f.base + ".png.part";
    if (preview::writePng(partial, picture.canvas, error))
        std::rename(partial.c_str(), (f.base + ".png").c_str());
    f.bytes.clear();
}

bool openFolder(pappl_device_t* device, const char* uri, const char*)
{
    char scheme[32], user[256], host[256], folder[1024];
    int port = 0;
    if (httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof scheme, user, sizeof user, host, sizeof host, &port,
                        folder, sizeof folder) < HTTP_URI_STATUS_OK ||
        ::access(folder, W_OK) != 0) {
        papplDeviceError(device, "Unable to write into the folder of \"%s\".", uri);
        return false;
    }
    papplDeviceSetData(device, new Folder{folder, -1, {}, {}});
    return true;
}

ssize_t writeFolder(pappl_device_t* device, const void* buffer, std::size_t n)
{
    auto* f = static_cast<Folder*>(papplDeviceGetData(device));
    if (f->fd < 0 && !startFile(*f)) {
        papplDeviceError(device, "Unable to create a job file in \"%s\": %s", f->path.c_str(), std::strerror(errno));
        return -1;
    }
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    f->bytes.insert(f->bytes.end(), p, p + n);
    std::size_t left = n;
    while (left > 0) {
        const ssize_t w = ::write(f->fd, p, left);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return -1;
        p += w;
        left -= static_cast<std::size_t>(w);
    }
    return static_cast<ssize_t>(n);
}

void closeFolder(pappl_device_t* device)
{
    auto* f = static_cast<Folder*>(papplDeviceGetData(device));
    if (f == nullptr)
        return;
    finishFile(*f);
    delete f;
    papplDeviceSetData(device, nullptr);
}

pappl_preason_t folderStatus(pappl_device_t*) { return PAPPL_PREASON_NONE; }

} // namespace

void endFolderJob(pappl_job_t* job, pappl_device_t* device)
{
    const char* uri = papplPrinterGetDeviceURI(papplJobGetPrinter(job));
    if (uri == nullptr || std::strncmp(uri, "folder:", 7) != 0)
        return;
    papplDeviceFlush(device);
    if (auto* f = static_cast<Folder*>(papplDeviceGetData(device)))
        finishFile(*f);
}

void addFolderDevice()
{
    // Asking about any device first makes PAPPL register its own schemes
    // (socket, usb, ...), which it does only while it knows of none.
    papplDeviceIsSupported("socket://localhost");
    papplDeviceAddScheme("folder", PAPPL_DEVTYPE_CUSTOM_LOCAL, nullptr, openFolder, closeFolder, nullptr,
                         writeFolder, folderStatus, nullptr);
}

} // namespace kordane::app
