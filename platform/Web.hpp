#pragma once
// The web as the desktop offers it: reading a small file over HTTP (the version
// file) and handing a page to the user's browser. URLs are UTF-8.
#include <cstddef>
#include <string>

#include "base/Types.hpp"

namespace lumivox::platform {

// Bounds of one read. The defaults are close to what the original platform's
// internet service allows: a minute to connect, thirty seconds of silence while
// receiving, and a ceiling on the whole exchange so that a server that accepts
// and never answers cannot hold the caller for ever.
struct HttpReadLimits {
    long connectTimeoutMs = 60000;
    long silenceTimeoutMs = 30000;
    long totalTimeoutMs = 120000;
    // A body longer than this is no file the caller reads: the read stops and
    // gives empty data. 0: no cap.
    std::size_t maxBodyBytes = 0;
};

// GET of the URL with HTTP/1.0, the agent "Mozilla/4.0 (compatible; MSIE 6.0;
// Windows NT 5.0)", "Accept: */*" and the no-cache lines that a reload sends,
// through the system's proxy settings. The body as it came, whatever the status;
// a failed read gives the bytes that arrived before it; empty data when nothing
// could be read.
ByteData readHttpFile(const std::string& url, const HttpReadLimits& limits = {});

// Asks the desktop to open the URL in the user's browser and returns without
// waiting for it. False when the desktop's opener cannot be started.
bool openWebPage(const std::string& url);

}  // namespace lumivox::platform
