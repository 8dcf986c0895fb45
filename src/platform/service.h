#pragma once
// The host around an unattended station: the service manager (systemd
// readiness and watchdog), one station per directory, the build date.
#include <cstdint>
#include <string>

// Notifications go out only after the program has switched them on, so that
// tests and tools that link the station never talk to a real service manager.
void EnableServiceNotifications();
// READY=1 once start-up is done; STOPPING=1 when the close sequence begins.
void NotifyServiceReady();
void NotifyServiceStopping();
// WATCHDOG=1, at most one every few seconds however often it is called.
void NotifyServiceWatchdog();

// Holds an exclusive lock on `path` (created when missing) for the life of
// the process. False when another process holds it; `error` says which.
bool AcquireInstanceLock(const std::string& path, std::string& error);

// 00:00 UTC of the day this program was built.
int64_t BuildDateUnixMs();
