#pragma once

class Downloader;
class LogHandler;

// Connects every report of a device's downloader to the log, queued: started,
// errors, list and file requests and their completion, abort and stop each
// become one log line under the downloader's object name.
void wireDownloaderLog(Downloader *downloader, LogHandler *log);
