#pragma once

class Downloader;

namespace ServerUi {

class DownloaderWidget2;

// Connects a device file list window and its own downloader both ways,
// every connection queued: the window's requests (start, list, fetch,
// abort, stop) to the downloader's slots and the downloader's reports to
// the window's slots. The window's destruction deletes the downloader. The
// caller adds the log and shows the window.
void wireDownloaderWindow(DownloaderWidget2 *window, Downloader *downloader);

} // namespace ServerUi
