// kordane-printer-app: the 46 receipt printer models as driverless IPP
// Everywhere printers. PAPPL's standard sub-commands (server, add, printers,
// submit, jobs, cancel, drivers, options, shutdown, ...) with one driver per
// model, kordane_NNN.
//
// Server options beside PAPPL's usual ones (-o name=value):
//   state-directory=DIR   the state file (printers, their settings) and the
//                         spool folder go into DIR
//   listen-hostname=NAME  the address to listen on, "*" for all (default
//                         localhost)
#include <pappl/pappl.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "app/driver.h"
#include "app/folder_device.h"

namespace {

constexpr char kName[] = "kordane-printer-app";

std::string defaultStateFile()
{
    if (getuid() == 0)
        return std::string("/var/lib/") + kName + ".state";
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::string dir = config ? config : std::string(home ? home : "/tmp") + "/.config";
    ::mkdir(dir.c_str(), 0700);
    return dir + "/" + kName + ".state";
}

pappl_loglevel_t logLevel(const char* name)
{
    if (name == nullptr)
        return PAPPL_LOGLEVEL_INFO;
    const char* levels[] = {"debug", "info", "warn", "error", "fatal"};
    for (int i = 0; i < 5; ++i)
        if (std::strcmp(name, levels[i]) == 0)
            return static_cast<pappl_loglevel_t>(PAPPL_LOGLEVEL_DEBUG + i);
    return PAPPL_LOGLEVEL_INFO;
}

pappl_system_t* makeSystem(int numOptions, cups_option_t* options, void*)
{
    static std::string stateFile, spool;
    const char* stateDir = cupsGetOption("state-directory", numOptions, options);
    const char* spoolDir = cupsGetOption("spool-directory", numOptions, options);
    if (stateDir != nullptr) {
        ::mkdir(stateDir, 0700);
        stateFile = std::string(stateDir) + "/" + kName + ".state";
        if (spoolDir == nullptr) {
            spool = std::string(stateDir) + "/spool";
            ::mkdir(spool.c_str(), 0700);
            spoolDir = spool.c_str();
        }
    } else {
        stateFile = defaultStateFile();
    }
    const char* portText = cupsGetOption("server-port", numOptions, options);
    const int port = portText ? std::atoi(portText) : 0;
    const char* logFile = cupsGetOption("log-file", numOptions, options);

    pappl_system_t* system = papplSystemCreate(
        PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE | PAPPL_SOPTIONS_WEB_LOG | PAPPL_SOPTIONS_NO_TLS,
        "Kordane Printers", port,
        nullptr, spoolDir, logFile ? logFile : "-", logLevel(cupsGetOption("log-level", numOptions, options)),
        nullptr, false);
    if (system == nullptr)
        return nullptr;
    kordane::app::addFolderDevice();

    // The loopback addresses unless told otherwise: "localhost" alone may
    // resolve to only one of them.
    const char* listen = cupsGetOption("listen-hostname", numOptions, options);
    if (listen == nullptr) {
        papplSystemAddListeners(system, "127.0.0.1");
        papplSystemAddListeners(system, "::1");
    } else {
        papplSystemAddListeners(system, std::strcmp(listen, "*") == 0 ? nullptr : listen);
    }
    if (const char* host = cupsGetOption("server-hostname", numOptions, options))
        papplSystemSetHostName(system, host);

    const auto list = kordane::app::drivers();
    papplSystemSetPrinterDrivers(system, static_cast<int>(list.size()), list.data(), nullptr, nullptr,
                                 kordane::app::setUpDriver, nullptr);
    papplSystemSetFooterHTML(system, "Kordane receipt printers");
    papplSystemLoadState(system, stateFile.c_str());
    papplSystemSetSaveCallback(system, reinterpret_cast<pappl_save_cb_t>(papplSystemSaveState),
                               const_cast<char*>(stateFile.c_str()));
    return system;
}

} // namespace

int main(int argc, char* argv[])
{
    const auto list = kordane::app::drivers();
    return papplMainloop(argc, argv, "1.3.5", "Kordane receipt printers", static_cast<int>(list.size()), list.data(),
                         nullptr, kordane::app::setUpDriver, nullptr, nullptr, makeSystem, nullptr, nullptr);
}
