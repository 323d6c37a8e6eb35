#pragma once

class DeviceHealth;
class Downloader;
class DownloaderHandler;
class LogHandler;

// Connects every report of a device's downloader to the log, queued: started,
// errors, list and file requests and their completion, abort and stop each
// become one log line under the downloader's object name; so do the local
// copies kept as versions and dropped again.
void wireDownloaderLog(Downloader *downloader, LogHandler *log);
// Connects a device's scheduler's reports (files skipped, waiting after a
// refusal, too old) to the log, queued, under the scheduler's object name.
void wireSchedulerLog(DownloaderHandler *scheduler, LogHandler *log);
// Connects a device's health changes ("state: KEY ...", once per change) to
// the log, queued, under the health's object name (its device's).
void wireHealthLog(DeviceHealth *health, LogHandler *log);
