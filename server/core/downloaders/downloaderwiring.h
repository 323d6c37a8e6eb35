#pragma once

class DeviceHealth;
class Downloader;
class DownloaderHandler;

// Connects a device's scheduler and downloader both ways, every connection
// queued: the scheduler's requests to the downloader's slots, and the
// downloader's reports to the scheduler's slots. The caller then begins the
// first cycle with DownloaderHandler::startCycle().
void wireDownloaderHandler(DownloaderHandler *handler, Downloader *downloader);

// Feeds a device's health from its downloader's and scheduler's reports,
// every connection queued.
void wireDeviceHealth(DeviceHealth *health, Downloader *downloader, DownloaderHandler *scheduler);
